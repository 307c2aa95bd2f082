// VtlsFormatMessage and VtlsFormat through the DLL's exports.
#include <gtest/gtest.h>

#include <cstdarg>
#include <functional>
#include <string>

#include "VantrelSh.h"

namespace {

constexpr LANGID kEnglish = 0x0409;
constexpr LANGID kGerman = 0x0407;
constexpr LANGID kFrench = 0x040C;

constexpr DWORD kUnknownItemId = 0xC0040007;     // an OPC result the system does not know
constexpr DWORD kServerMisbehaves = 0xC1000016;  // a text with the insert %1
constexpr DWORD kCodeInNoTable = 0xC2000014;     // a gap between two codes of the table

constexpr DWORD kAllocate = FORMAT_MESSAGE_ALLOCATE_BUFFER;
constexpr DWORD kFromSystem = FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD kFromModule = FORMAT_MESSAGE_FROM_HMODULE;
constexpr DWORD kFromString = FORMAT_MESSAGE_FROM_STRING;

HMODULE Library() { return GetModuleHandleW(L"VantrelSh.dll"); }

// This test program carries no message table.
HMODULE Program() { return GetModuleHandleW(nullptr); }

const wchar_t* UnknownItemIdText(LANGID language) {
    return language == kGerman ? L"Die angegeben OPC ItemID ist unbekannt.\r\n"
                               : L"The item is no longer available in the server address space.\r\n";
}

// Takes a string that FormatMessageW allocated with LocalAlloc.
std::wstring Take(wchar_t* text) {
    std::wstring copy = text != nullptr ? text : L"(none)";
    EXPECT_EQ(LocalFree(text), nullptr);
    return copy;
}

struct Result {
    DWORD length;
    DWORD error;  // the thread's last error after the call
};

Result Allocating(DWORD (*format)(DWORD, LPCVOID, DWORD, DWORD, LPWSTR, DWORD, va_list*), DWORD flags,
                  LPCVOID source, DWORD id, LANGID language, std::wstring* text) {
    wchar_t* buffer = nullptr;
    SetLastError(0);
    const DWORD length = format(flags | kAllocate, source, id, language, reinterpret_cast<LPWSTR>(&buffer), 0, nullptr);
    const DWORD error = GetLastError();
    if (text != nullptr) {
        *text = Take(buffer);
    } else {
        LocalFree(buffer);
    }
    return {length, error};
}

DWORD Library_FormatMessage(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPWSTR buffer, DWORD size,
                            va_list* arguments) {
    return VtlsFormatMessage(flags, source, id, language, buffer, size, arguments);
}

DWORD System_FormatMessage(DWORD flags, LPCVOID source, DWORD id, DWORD language, LPWSTR buffer, DWORD size,
                           va_list* arguments) {
    return FormatMessageW(flags, source, id, language, buffer, size, arguments);
}

TEST(VtlsFormatMessage, SystemLacksTheOpcResultsUsedHere) {
    for (const LANGID language : {kEnglish, kGerman}) {
        EXPECT_EQ(Allocating(System_FormatMessage, kFromSystem, nullptr, kUnknownItemId, language, nullptr).length, 0u);
    }
}

TEST(VtlsFormatMessage, FallsBackToTheLibraryTableInTheLanguageAsked) {
    struct Case {
        const char* name;
        DWORD flags;
        HMODULE source;
    };
    const Case cases[] = {
        {"system", kFromSystem, nullptr},
        {"program without the code", kFromModule, Program()},
        {"program, then system", kFromModule | kFromSystem, Program()},
        {"the library itself", kFromModule, Library()},
    };
    for (const Case& c : cases) {
        for (const LANGID language : {kEnglish, kGerman}) {
            SCOPED_TRACE(::testing::Message() << c.name << ", language " << std::hex << language);
            std::wstring text;
            const Result result = Allocating(Library_FormatMessage, c.flags, c.source, kUnknownItemId, language, &text);
            EXPECT_EQ(text, UnknownItemIdText(language));
            EXPECT_EQ(result.length, text.size());
        }
    }
}

// The module that carries the system's message table.
HMODULE SystemTableModule() { return GetModuleHandleW(L"kernelbase.dll"); }

TEST(VtlsFormatMessage, PassesOnWhatTheFirstSourceKnows) {
    struct Case {
        const char* name;
        DWORD flags;
        HMODULE source;
        DWORD id;
    };
    const Case cases[] = {
        {"system error", kFromSystem, nullptr, ERROR_ACCESS_DENIED},
        {"system error, inserts ignored", kFromSystem | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_FILE_NOT_FOUND},
        // The library's table, which lacks this code, is not asked at all.
        {"caller's module that knows the code", kFromModule, SystemTableModule(), ERROR_ACCESS_DENIED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::wstring expected;
        const Result system = Allocating(System_FormatMessage, c.flags, c.source, c.id, 0, &expected);
        ASSERT_NE(system.length, 0u);
        std::wstring text;
        const Result result = Allocating(Library_FormatMessage, c.flags, c.source, c.id, 0, &text);
        EXPECT_EQ(result.length, system.length);
        EXPECT_EQ(text, expected);
    }
}

TEST(VtlsFormatMessage, RefusesStringsWithoutTouchingAnything) {
    const DWORD flagSets[] = {kFromString | kAllocate, kFromString, kFromString | kFromSystem};
    for (const DWORD flags : flagSets) {
        SCOPED_TRACE(::testing::Message() << "flags " << std::hex << flags);
        wchar_t buffer[32] = L"untouched";
        wchar_t* const before = buffer;
        wchar_t* allocated = before;  // what an allocating call would overwrite
        LPWSTR target = (flags & kAllocate) != 0 ? reinterpret_cast<LPWSTR>(&allocated) : buffer;
        SetLastError(0x0BADF00D);
        EXPECT_EQ(VtlsFormatMessage(flags, L"a %1 string", 0, 0, target, 32, nullptr), 0u);
        EXPECT_EQ(GetLastError(), 0x0BADF00Du);
        EXPECT_EQ(allocated, before);
        EXPECT_STREQ(buffer, L"untouched");
    }
}

DWORD FormatWithVaList(DWORD id, LANGID language, wchar_t* buffer, DWORD size, ...) {
    va_list arguments;
    va_start(arguments, size);
    const DWORD length = VtlsFormatMessage(kFromSystem, nullptr, id, language, buffer, size, &arguments);
    va_end(arguments);
    return length;
}

TEST(VtlsFormatMessage, FillsInsertsOfTheLibraryTexts) {
    const wchar_t* const english = L"The OPC Server Alpha shows an unexpected behaviour.\r\n";
    const wchar_t* const german = L"Der OPC Server Alpha zeigt ein unerwartetes Verhalten.\r\n";
    for (const LANGID language : {kEnglish, kGerman}) {
        SCOPED_TRACE(::testing::Message() << "language " << std::hex << language);
        const std::wstring expected = language == kGerman ? german : english;

        const DWORD_PTR array[] = {reinterpret_cast<DWORD_PTR>(L"Alpha")};
        wchar_t buffer[128] = {};
        DWORD length = VtlsFormatMessage(kFromSystem | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr, kServerMisbehaves,
                                         language, buffer, 128, reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(array)));
        EXPECT_EQ(std::wstring(buffer), expected) << "from an argument array";
        EXPECT_EQ(length, expected.size());

        wchar_t fromList[128] = {};
        length = FormatWithVaList(kServerMisbehaves, language, fromList, 128, L"Alpha");
        EXPECT_EQ(std::wstring(fromList), expected) << "from a variable argument list";
        EXPECT_EQ(length, expected.size());
    }
}

TEST(VtlsFormatMessage, ReportsFailuresAsFormatMessageDoes) {
    struct Case {
        const char* name;
        DWORD id;
        LANGID language;
        DWORD size;  // 0: allocate
    };
    const Case cases[] = {
        {"code in no table", kCodeInNoTable, kEnglish, 0},
        {"language the table lacks", kUnknownItemId, kFrench, 0},
        {"buffer too small", kUnknownItemId, kEnglish, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // What the library's table alone yields: the second of the two calls.
        Result expected{};
        Result result{};
        if (c.size == 0) {
            expected = Allocating(System_FormatMessage, kFromSystem | kFromModule, Library(), c.id, c.language, nullptr);
            result = Allocating(Library_FormatMessage, kFromSystem, nullptr, c.id, c.language, nullptr);
        } else {
            wchar_t buffer[64] = {};
            SetLastError(0);
            expected.length =
                FormatMessageW(kFromSystem | kFromModule, Library(), c.id, c.language, buffer, c.size, nullptr);
            expected.error = GetLastError();
            SetLastError(0);
            result.length = VtlsFormatMessage(kFromSystem, nullptr, c.id, c.language, buffer, c.size, nullptr);
            result.error = GetLastError();
        }
        EXPECT_EQ(expected.length, 0u);
        EXPECT_NE(expected.error, 0u);
        EXPECT_EQ(result.length, 0u);
        EXPECT_EQ(result.error, expected.error);
    }
}

struct FormatCase {
    const char* name;
    std::function<wchar_t*()> format;
    const wchar_t* expected;
};

TEST(VtlsFormat, PutsInsertsIntoANewLocalString) {
    const FormatCase cases[] = {
        {"two strings", [] { return VtlsFormat(L"%1 and %2", L"Alpha", L"Beta"); }, L"Alpha and Beta"},
        {"strings reordered", [] { return VtlsFormat(L"%2, %1, %2", L"one", L"two"); }, L"two, one, two"},
        {"signed number", [] { return VtlsFormat(L"%1!d! items", -42); }, L"-42 items"},
        {"numbers and a string",
         [] { return VtlsFormat(L"%1 has %2!u! of %3!lu!", L"Host", 3u, 4000000000ul); },
         L"Host has 3 of 4000000000"},
        {"hexadecimal with width", [] { return VtlsFormat(L"0x%1!08X!", 0xBEEFu); }, L"0x0000BEEF"},
        {"escapes", [] { return VtlsFormat(L"100%% sure%n"); }, L"100% sure\r\n"},
        {"no inserts", [] { return VtlsFormat(L"plain text"); }, L"plain text"},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t* const text = c.format();
        ASSERT_NE(text, nullptr);
        EXPECT_GE(LocalSize(text), (wcslen(text) + 1) * sizeof(wchar_t)) << "not a local allocation";
        EXPECT_EQ(Take(text), c.expected);
    }
}

TEST(VtlsFormat, YieldsNullWhenNothingIsFormatted) {
    EXPECT_EQ(VtlsFormat(L""), nullptr);
}

}  // namespace
