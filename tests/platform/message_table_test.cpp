// The message table linked into the DLL: one resource in English and German,
// 8-bit code page 1252 texts, which FormatMessageW decodes with the process's
// ANSI code page (1252 in the test environment).
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

#include "VantrelSh.h"

namespace {

constexpr LANGID kEnglish = 0x0409, kGerman = 0x0407;

HMODULE Library() { return GetModuleHandleW(L"VantrelSh.dll"); }

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::set<ULONG_PTR>*>(names)->insert(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

TEST(MessageTable, IsOneResourceInEnglishAndGermanOfThirtyTwoTexts) {
    std::set<ULONG_PTR> names;
    EnumResourceNamesW(Library(), RT_MESSAGETABLE, CollectName, reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::set<ULONG_PTR>{1});
    for (const LANGID language : {kEnglish, kGerman}) {
        const HRSRC info = FindResourceExW(Library(), RT_MESSAGETABLE, MAKEINTRESOURCEW(1), language);
        ASSERT_NE(info, nullptr) << language;
        const auto* data = static_cast<const unsigned char*>(LockResource(LoadResource(Library(), info)));
        const DWORD size = SizeofResource(Library(), info);
        // Every entry within the resource, 8-bit (flags 0) and terminated.
        DWORD blocks = 0, entries = 0;
        std::memcpy(&blocks, data, 4);
        for (DWORD block = 0; block < blocks; ++block) {
            MESSAGE_RESOURCE_BLOCK header{};
            ASSERT_LE(4 + (block + 1) * sizeof(header), size);
            std::memcpy(&header, data + 4 + block * sizeof(header), sizeof(header));
            std::size_t offset = header.OffsetToEntries;
            for (DWORD id = header.LowId; id <= header.HighId; ++id, ++entries) {
                WORD length = 0, flags = 0;
                ASSERT_LE(offset + 4, size);
                std::memcpy(&length, data + offset, 2);
                std::memcpy(&flags, data + offset + 2, 2);
                ASSERT_TRUE(length > 4 && offset + length <= size) << std::hex << id;
                EXPECT_EQ(flags, 0) << std::hex << id;
                EXPECT_LT(strnlen(reinterpret_cast<const char*>(data + offset + 4), length - 4u), length - 4u);
                offset += length;
            }
        }
        EXPECT_EQ(entries, 32u) << language;
    }
}

// Samples of every range and of the German texts' umlauts, in both languages.
TEST(MessageTable, FormatMessageYieldsTheTextsInTheLanguageAsked) {
    const struct {
        DWORD id;
        LANGID language;
        const wchar_t* text;
    } cases[] = {
        {0x0004000D, kEnglish, L"The server does not support the requested data rate \r\nbut will use the closest available rate.\r\n"},
        {0x0004000D, kGerman, L"Der OPC Server kann die gew\u00FCnschte Aktualisierungsrate nicht unterst\u00FCtzen,\r\naber benutzt stattdessen einen Wert der diesem am n\u00E4chsten kommt.\r\n"},
        {0x01000010, kGerman, L"Der OPC Server ist manuell getrennt worden.\r\n"},
        {0xC0040001, kGerman, L"The value of the handle is invalid.\r\n"},
        {0xC004000B, kGerman, L"Der Wert ist ausserhalb des zul\u00E4ssigen Bereiches.\r\n"},
        {0xC1000016, kEnglish, L"The OPC Server %1 shows an unexpected behaviour.\r\n"},
        {0xC1000017, kEnglish, L"The user or group could not be found.\r\n"},
        {0xC1000014, kGerman, L"Das Zielverzeichnis ist dem Quellverzeichnis untergeordnet.\r\n"},
        {0xC2000018, kGerman, L"Unable to communicate with the computer.\r\n"},
    };
    for (const auto& c : cases) {
        wchar_t* text = nullptr;
        const DWORD length = VtlsFormatMessage(
            FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, c.id,
            c.language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
        EXPECT_EQ(text != nullptr ? std::wstring(text) : L"(none)", c.text) << std::hex << c.id;
        EXPECT_EQ(length, wcslen(c.text));
        LocalFree(text);
    }
}

}  // namespace
