// VtlsFormatMessage and VtlsFormat through the DLL's exports.
#include <gtest/gtest.h>

#include <cstdarg>
#include <functional>
#include <string>

#include "VantrelSh.h"

namespace {

constexpr LANGID kEnglish = 0x0409, kGerman = 0x0407, kFrench = 0x040C;
constexpr DWORD kUnknownItemId = 0xC0040007;     // an OPC result the system does not know
constexpr DWORD kServerMisbehaves = 0xC1000016;  // a text with the insert %1
constexpr DWORD kCodeInNoTable = 0xC2000014;     // a gap between two codes of the table
constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM, kFromModule = FORMAT_MESSAGE_FROM_HMODULE;

HMODULE Library() { return GetModuleHandleW(L"VantrelSh.dll"); }

using Format = DWORD(WINAPI*)(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list*);

struct Result {
    DWORD length;
    DWORD error;  // the thread's last error after the call
    std::wstring text;
};

Result Allocating(Format format, DWORD flags, LPCVOID source, DWORD id, LANGID language) {
    wchar_t* buffer = nullptr;
    SetLastError(0);
    const DWORD length = format(flags | FORMAT_MESSAGE_ALLOCATE_BUFFER, source, id, language,
                                reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    Result result{length, GetLastError(), buffer != nullptr ? buffer : L"(none)"};
    EXPECT_EQ(LocalFree(buffer), nullptr);
    return result;
}

TEST(VtlsFormatMessage, FallsBackToTheLibraryTableInTheLanguageAsked) {
    for (const LANGID language : {kEnglish, kGerman}) {
        EXPECT_EQ(Allocating(FormatMessageW, kFromSystem, nullptr, kUnknownItemId, language).length, 0u)
            << "the system knows the code";
        const std::wstring expected = language == kGerman ? L"Die angegeben OPC ItemID ist unbekannt.\r\n"
                                                           : L"The item is no longer available in the server address space.\r\n";
        // This test program carries no message table.
        const std::pair<DWORD, HMODULE> sources[] = {{kFromSystem, nullptr}, {kFromModule, GetModuleHandleW(nullptr)},
                                                     {kFromModule | kFromSystem, GetModuleHandleW(nullptr)},
                                                     {kFromModule, Library()}};
        for (const auto& [flags, source] : sources) {
            const Result result = Allocating(VtlsFormatMessage, flags, source, kUnknownItemId, language);
            EXPECT_EQ(result.text, expected) << flags;
            EXPECT_EQ(result.length, expected.size());
        }
    }
}

TEST(VtlsFormatMessage, PassesOnWhatTheFirstSourceKnows) {
    const struct {
        DWORD flags;
        HMODULE source;
        DWORD id;
    } cases[] = {
        {kFromSystem, nullptr, ERROR_ACCESS_DENIED},
        {kFromSystem | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND},
        // The library's table, which lacks this code, is not asked at all.
        {kFromModule, GetModuleHandleW(L"kernelbase.dll"), ERROR_ACCESS_DENIED},
    };
    for (const auto& c : cases) {
        const Result system = Allocating(FormatMessageW, c.flags, c.source, c.id, 0);
        ASSERT_NE(system.length, 0u);
        const Result result = Allocating(VtlsFormatMessage, c.flags, c.source, c.id, 0);
        EXPECT_EQ(result.length, system.length);
        EXPECT_EQ(result.text, system.text);
    }
}

TEST(VtlsFormatMessage, RefusesStringsWithoutTouchingAnything) {
    const DWORD flagSets[] = {FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_ALLOCATE_BUFFER, FORMAT_MESSAGE_FROM_STRING,
                              FORMAT_MESSAGE_FROM_STRING | kFromSystem};
    for (const DWORD flags : flagSets) {
        wchar_t buffer[32] = L"untouched";
        wchar_t* allocated = buffer;  // what an allocating call would overwrite
        const LPWSTR target = (flags & FORMAT_MESSAGE_ALLOCATE_BUFFER) != 0 ? reinterpret_cast<LPWSTR>(&allocated) : buffer;
        SetLastError(0x0BADF00D);
        EXPECT_EQ(VtlsFormatMessage(flags, L"a %1 string", 0, 0, target, 32, nullptr), 0u);
        EXPECT_EQ(GetLastError(), 0x0BADF00Du);
        EXPECT_EQ(allocated, buffer);
        EXPECT_STREQ(buffer, L"untouched");
    }
}

DWORD FormatWithVaList(LANGID language, wchar_t* buffer, ...) {
    va_list arguments;
    va_start(arguments, buffer);
    const DWORD length = VtlsFormatMessage(kFromSystem, nullptr, kServerMisbehaves, language, buffer, 128, &arguments);
    va_end(arguments);
    return length;
}

TEST(VtlsFormatMessage, FillsInsertsOfTheLibraryTexts) {
    for (const LANGID language : {kEnglish, kGerman}) {
        const std::wstring expected = language == kGerman ? L"Der OPC Server Alpha zeigt ein unerwartetes Verhalten.\r\n"
                                                          : L"The OPC Server Alpha shows an unexpected behaviour.\r\n";
        const DWORD_PTR array[] = {reinterpret_cast<DWORD_PTR>(L"Alpha")};
        wchar_t fromArray[128] = {}, fromList[128] = {};
        EXPECT_EQ(VtlsFormatMessage(kFromSystem | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, kServerMisbehaves, language,
                                    fromArray, 128, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(array))),
                  expected.size());
        EXPECT_EQ(fromArray, expected);
        EXPECT_EQ(FormatWithVaList(language, fromList, L"Alpha"), expected.size());
        EXPECT_EQ(fromList, expected);
    }
}

// What the library's table alone yields (the second of the two calls it makes).
TEST(VtlsFormatMessage, ReportsFailuresAsFormatMessageDoes) {
    const std::pair<DWORD, LANGID> allocating[] = {{kCodeInNoTable, kEnglish}, {kUnknownItemId, kFrench}};
    for (const auto& [id, language] : allocating) {
        const Result expected = Allocating(FormatMessageW, kFromSystem | kFromModule, Library(), id, language);
        const Result result = Allocating(VtlsFormatMessage, kFromSystem, nullptr, id, language);
        EXPECT_TRUE(expected.length == 0 && expected.error != 0);
        EXPECT_EQ(result.length, 0u);
        EXPECT_EQ(result.error, expected.error);
    }
    wchar_t buffer[64] = {};
    SetLastError(0);
    EXPECT_EQ(FormatMessageW(kFromSystem | kFromModule, Library(), kUnknownItemId, kEnglish, buffer, 8, nullptr), 0u);
    const DWORD expected = GetLastError();
    SetLastError(0);
    EXPECT_EQ(VtlsFormatMessage(kFromSystem, nullptr, kUnknownItemId, kEnglish, buffer, 8, nullptr), 0u) << "too small";
    EXPECT_EQ(GetLastError(), expected);
    EXPECT_NE(expected, 0u);
}

TEST(VtlsFormat, PutsInsertsIntoANewLocalStringOrGivesNull) {
    const std::pair<std::function<wchar_t*()>, const wchar_t*> cases[] = {
        {[] { return VtlsFormat(L"%1 and %2", L"Alpha", L"Beta"); }, L"Alpha and Beta"},
        {[] { return VtlsFormat(L"%2, %1, %2", L"one", L"two"); }, L"two, one, two"},
        {[] { return VtlsFormat(L"%1!d! items", -42); }, L"-42 items"},
        {[] { return VtlsFormat(L"%1 has %2!u! of %3!lu!", L"Host", 3u, 4000000000ul); }, L"Host has 3 of 4000000000"},
        {[] { return VtlsFormat(L"0x%1!08X!", 0xBEEFu); }, L"0x0000BEEF"},
        {[] { return VtlsFormat(L"100%% sure%n"); }, L"100% sure\r\n"},
        {[] { return VtlsFormat(L"plain text"); }, L"plain text"},
    };
    for (const auto& [format, expected] : cases) {
        wchar_t* const text = format();
        ASSERT_NE(text, nullptr) << expected;
        EXPECT_GE(LocalSize(text), (wcslen(text) + 1) * sizeof(wchar_t)) << "not a local allocation";
        EXPECT_EQ(std::wstring(text), expected);
        LocalFree(text);
    }
    EXPECT_EQ(VtlsFormat(L""), nullptr);
}

}  // namespace
