// VtlsFormatMessage and VtlsFormat through the DLL's exports, and the message
// table linked into the DLL: English and German texts in code page 1252, which
// FormatMessageW decodes with the process's ANSI code page (1252 here).
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>

#include "VantrelSh.h"

namespace {

constexpr LANGID kEnglish = 0x0409, kGerman = 0x0407;
constexpr DWORD kUnknownItemId = 0xC0040007;     // an OPC result the system does not know
constexpr DWORD kServerMisbehaves = 0xC1000016;  // a text with the insert %1
constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM, kFromModule = FORMAT_MESSAGE_FROM_HMODULE;

using Format = DWORD(WINAPI*)(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list*);

struct Result {
    DWORD length;
    std::wstring text;
};

Result Allocating(Format format, DWORD flags, LPCVOID source, DWORD id, LANGID language) {
    wchar_t* buffer = nullptr;
    const DWORD length = format(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, id, language,
                                reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    Result result{length, buffer != nullptr ? buffer : L"(none)"};
    EXPECT_EQ(LocalFree(buffer), nullptr);
    return result;
}

// Samples of the ranges, the German umlauts and a line ending in a space.
TEST(VtlsFormatMessage, FallsBackToTheLibraryTableForWhatTheSourceLacks) {
    const struct {
        DWORD id;
        LANGID language;
        const wchar_t* text;
    } cases[] = {
        {0x0004000D, kEnglish, L"The server does not support the requested data rate \r\nbut will use the closest available rate.\r\n"},
        {0x0004000D, kGerman, L"Der OPC Server kann die gew\u00FCnschte Aktualisierungsrate nicht unterst\u00FCtzen,\r\naber benutzt stattdessen einen Wert der diesem am n\u00E4chsten kommt.\r\n"},
        {kUnknownItemId, kGerman, L"Die angegeben OPC ItemID ist unbekannt.\r\n"},
        {0xC2000018, kGerman, L"Unable to communicate with the computer.\r\n"},
    };
    for (const auto& c : cases) {
        const Result result = Allocating(VtlsFormatMessage, kFromSystem | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, c.id,
                                         c.language);
        EXPECT_EQ(result.text, c.text) << std::hex << c.id;
        EXPECT_EQ(result.length, wcslen(c.text));
    }
    // Behind a module that has no table (this program) too.
    EXPECT_EQ(Allocating(VtlsFormatMessage, kFromModule, GetModuleHandleW(nullptr), kUnknownItemId, kEnglish).text,
              L"The item is no longer available in the server address space.\r\n");
    // What the first source knows is passed on: kernelbase's text, not the library's.
    const HMODULE kernelbase = GetModuleHandleW(L"kernelbase.dll");
    const Result system = Allocating(FormatMessageW, kFromModule, kernelbase, ERROR_ACCESS_DENIED, 0);
    ASSERT_NE(system.length, 0u);
    const Result result = Allocating(VtlsFormatMessage, kFromModule, kernelbase, ERROR_ACCESS_DENIED, 0);
    EXPECT_EQ(result.length, system.length);
    EXPECT_EQ(result.text, system.text);
}

TEST(VtlsFormatMessage, RefusesStringsWithoutTouchingAnything) {
    wchar_t buffer[32] = L"untouched";
    SetLastError(0x0BADF00D);
    EXPECT_EQ(VtlsFormatMessage(FORMAT_MESSAGE_FROM_STRING | kFromSystem, L"a %1 string", 0, 0, buffer, 32, nullptr), 0u);
    EXPECT_EQ(GetLastError(), 0x0BADF00Du);
    EXPECT_STREQ(buffer, L"untouched");
}

DWORD FormatWithVaList(LANGID language, wchar_t* buffer, ...) {
    va_list arguments;
    va_start(arguments, buffer);
    const DWORD length = VtlsFormatMessage(kFromSystem, nullptr, kServerMisbehaves, language, buffer, 128, &arguments);
    va_end(arguments);
    return length;
}

TEST(VtlsFormatMessage, FillsInsertsOfTheLibraryTexts) {
    wchar_t fromList[128] = {};
    const std::wstring german = L"Der OPC Server Alpha zeigt ein unerwartetes Verhalten.\r\n";
    EXPECT_EQ(FormatWithVaList(kGerman, fromList, L"Alpha"), german.size());
    EXPECT_EQ(fromList, german);
}

TEST(VtlsFormat, PutsInsertsIntoANewLocalStringOrGivesNull) {
    wchar_t* const text = VtlsFormat(L"%2, %1 has %3!u! of %4!lu!: 0x%5!08X!%n", L"Host", L"Alpha", 3u, 4000000000ul, 0xBEEFu);
    ASSERT_NE(text, nullptr);
    EXPECT_GE(LocalSize(text), (wcslen(text) + 1) * sizeof(wchar_t)) << "not a local allocation";
    EXPECT_STREQ(text, L"Alpha, Host has 3 of 4000000000: 0x0000BEEF\r\n");
    LocalFree(text);
    EXPECT_EQ(VtlsFormat(L""), nullptr);
}

}  // namespace
