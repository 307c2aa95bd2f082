// The message table linked into the DLL: its names, languages and bytes, and
// the texts FormatMessageW makes of them.
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "VantrelSh.h"

// The download page named by two of the texts.
#define DOWNLOAD_ADDRESS L"https://opc.example.com/downloads/"

namespace {

constexpr LANGID kEnglish = 0x0409;
constexpr LANGID kGerman = 0x0407;
constexpr LANGID kLanguages[] = {kEnglish, kGerman};

struct Message {
    DWORD id;
    const wchar_t* english;
    const wchar_t* german;
};

// Each ¶ is a CRLF line end. In these raw strings \r, \n and \t are backslash
// pairs, which the texts hold as written.
const Message kMessages[] = {
    {0x0004000D,
     LR"(The server does not support the requested data rate ¶but will use the closest available rate.¶)",
     LR"(Der OPC Server kann die gewünschte Aktualisierungsrate nicht unterstützen,¶aber benutzt stattdessen einen Wert der diesem am nächsten kommt.¶)"},
    {0x0004000E,
     LR"(A value passed to WRITE was accepted but the output was clamped.¶)",
     LR"(Der Wert wurde akzeptiert aber es trat eine Verriegelung auf.¶)"},
    {0x0004000F,
     LR"(The operation cannot be completed because the ¶object still has references that exist.¶)",
     LR"(Die Operation konnte nicht abgeschlossen werden, da das Objekt¶noch benutzt wird.¶)"},
    {0x01000010,
     LR"(The OPC Server has been disconnected manually.¶)",
     LR"(Der OPC Server ist manuell getrennt worden.¶)"},
    {0xC0040001,
     LR"(The value of the handle is invalid.¶)",
     LR"(The value of the handle is invalid.¶)"},
    {0xC0040004,
     LR"(The server cannot convert the data between the ¶requested data type and the canonical data type.¶)",
     LR"(The server cannot convert the data between the ¶requested data type and the canonical data type.¶)"},
    {0xC0040005,
     LR"(The requested operation cannot be done on a public group.¶)",
     LR"(The requested operation cannot be done on a public group.¶)"},
    {0xC0040006,
     LR"(The Items AccessRights do not allow the operation.¶)",
     LR"(Die Zugriffsrechte des OPC Datenpunktes erlauben die Operation nicht.¶)"},
    {0xC0040007,
     LR"(The item is no longer available in the server address space.¶)",
     LR"(Die angegeben OPC ItemID ist unbekannt.¶)"},
    {0xC0040008,
     LR"(The item definition doesn't conform to the server's syntax.¶)",
     LR"(Die angegeben OPC ItemID ist ungültig.¶)"},
    {0xC0040009,
     LR"(The filter string was not valid.¶)",
     LR"(The filter string was not valid.¶)"},
    {0xC004000A,
     LR"(The item's access path is not known to the server.¶)",
     LR"(The item's access path is not known to the server.¶)"},
    {0xC004000B,
     LR"(The value was out of range.¶)",
     LR"(Der Wert ist ausserhalb des zulässigen Bereiches.¶)"},
    {0xC004000C,
     LR"(Duplicate name not allowed.¶)",
     LR"(Der Name wird bereits benutzt.¶)"},
    {0xC0040010,
     LR"(The server's configuration file is an invalid format.¶)",
     LR"(Die Konfigurationsdatei des OPC Server ist ungültig.¶)"},
    {0xC0040011,
     LR"(The object could not be found.¶)",
     LR"(Das Objekt konnte nicht gefunden werden.¶)"},
    {0xC1000010,
     LR"(The OPC Server has been disconnected manually.¶)",
     LR"(Sie haben den OPC Server manuell getrennt.¶)"},
    {0xC1000011,
     LR"(The OPC Server has been connected manually.¶)",
     LR"(Der OPC Server ist manuell getrennt worden.¶)"},
    {0xC1000012,
     LR"(The specified name is invalid.¶)",
     LR"(Der angebene Name ist ungültig.¶)"},
    {0xC1000013,
     LR"(The requested operation could not be completed,while publishing¶the OPC Group.¶)",
     LR"(The requested operation could not be completed,while publishing¶the OPC Group.¶)"},
    {0xC1000014,
     LR"(The destination folder is a subfolder of the source folder.¶)",
     LR"(Das Zielverzeichnis ist dem Quellverzeichnis untergeordnet.¶)"},
    {0xC1000015,
     LR"(The destination folder is the same as the source folder.¶)",
     LR"(Ziel- und Quellverzeichnis sind identisch.¶)"},
    {0xC1000016,
     LR"(The OPC Server %1 shows an unexpected behaviour.¶)",
     LR"(Der OPC Server %1 zeigt ein unerwartetes Verhalten.¶)"},
    {0xC1000017,
     LR"(The user or group could not be found.¶)",
     LR"(The user or group could not be found.¶)"},
    {0xC2000010,
     LR"(The dialog box is already active.¶)",
     LR"(Der Dialog Box is bereits aktiv.¶)"},
    {0xC2000011,
     LR"(Can't change this property while dialog box is active.¶)",
     LR"(Diese Eigenschaft kann nicht verändert werden, während ein Dialogfenster¶aktiv ist.¶)"},
    {0xC2000012,
     LR"(Can't find the initial directory.¶)",
     LR"(Das Startverzeichnis konnte nicht gefunden werden.¶)"},
    {0xC2000013,
     LR"(The start directory is invalid.¶)",
     LR"(Das Startverzeichnis ist ungültig.¶)"},
    {0xC2000015,
     LR"(There is no service to list OPC Servers on that computer. There may¶be no OPC Server on that computer.\r\n¶Thihis service is normally installed with newer OPC Server.¶However to find older OPC Servers or to find OPC Server that don't install¶such a service you can download such a service from ')" DOWNLOAD_ADDRESS LR"('¶for free. This service corrects OPC Server installations and also works¶on Windows 95/98.¶)",
     LR"(Auf dem Computer konnte kein Dienst zum Auflisten von OPC Server gefunden werden.¶Möglicherweise befinden sich hier keine OPC Server.\r\n¶Dieser Dienst wird normalerweise von neueren OPC Servern installiert. Falls Sie¶auch ältere und solche die diesen Dienst nicht installieren, finden möchten, können¶Sie einen solchen Dienst kostenlos von folgende Web-Site herunterladen:\r\n\t¶)" DOWNLOAD_ADDRESS LR"(\r\n¶Dieser Dienst arbeitet auch mit Windows 95/98 korrekt.¶)"},
    {0xC2000016,
     LR"(The service to list OPC Servers didn't start up or failed on that computer.\r\n¶Please check the installation of that service. If you browse a Windows 95/98 computer¶make sure the service is already running since Windows 95/98 doesn't support to ¶launch services remotely.\r\n¶You can download a service that fixes this problem for free from the follwing web-site:¶\r\n\t)" DOWNLOAD_ADDRESS LR"(\r\n¶)",
     LR"(The service to list OPC Servers didn't start up or failed on that computer.\r\n¶Please check the installation of that service. If you browse a Windows 95/98 computer¶make sure the service is already running since Windows 95/98 doesn't support to ¶launch services remotely.\r\n¶You can download a service that fixes this problem for free from the follwing web-site:¶\r\n\t)" DOWNLOAD_ADDRESS LR"(\r\n¶)"},
    {0xC2000017,
     LR"(You don't have the permission to list OPC Server on this computer.¶)",
     LR"(You don't have the permission to list OPC Server on this computer.¶)"},
    {0xC2000018,
     LR"(Unable to communicate with the computer.¶)",
     LR"(Unable to communicate with the computer.¶)"},
};

std::wstring Text(const Message& message, LANGID language) {
    std::wstring text;
    for (const wchar_t* c = language == kGerman ? message.german : message.english; *c != 0; ++c) {
        if (*c == L'\u00B6') {
            text += L"\r\n";
        } else {
            text += *c;
        }
    }
    return text;
}

std::string Cp1252(const std::wstring& text) {
    BOOL lossy = FALSE;
    const int length = WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, &lossy);
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(1252, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()), bytes.data(),
                        length, nullptr, &lossy);
    EXPECT_FALSE(lossy) << "not representable in code page 1252";
    return bytes;
}

HMODULE Library() { return GetModuleHandleW(L"VantrelSh.dll"); }

struct Entry {
    WORD flags;
    std::string text;  // up to the terminating zero
};

// Reads a MESSAGE_RESOURCE_DATA block by block, checking every offset against
// the resource's size.
class TableReader {
public:
    TableReader(const unsigned char* data, size_t size) : data_(data), size_(size) {}

    std::map<DWORD, Entry> Entries() const {
        std::map<DWORD, Entry> entries;
        DWORD blocks = 0;
        if (!Read(0, blocks)) {
            return entries;
        }
        for (DWORD block = 0; block < blocks; ++block) {
            MESSAGE_RESOURCE_BLOCK header{};
            if (!Read(sizeof(DWORD) + block * sizeof(header), header)) {
                return entries;
            }
            EXPECT_LE(header.LowId, header.HighId);
            size_t offset = header.OffsetToEntries;
            for (DWORD id = header.LowId; id <= header.HighId; ++id) {
                WORD length = 0;
                WORD flags = 0;
                if (!Read(offset, length) || !Read(offset + 2, flags) || length < 4 || offset + length > size_) {
                    ADD_FAILURE() << "entry of id " << std::hex << id << " is out of bounds";
                    return entries;
                }
                const char* text = reinterpret_cast<const char*>(data_ + offset + 4);
                const size_t textLength = strnlen(text, length - 4u);
                EXPECT_LT(textLength, length - 4u) << "entry of id " << std::hex << id << " is not terminated";
                EXPECT_TRUE(entries.emplace(id, Entry{flags, std::string(text, textLength)}).second);
                offset += length;
                if (id == header.HighId) {
                    break;  // HighId may be 0xFFFFFFFF
                }
            }
        }
        return entries;
    }

private:
    template <typename T>
    bool Read(size_t offset, T& value) const {
        if (offset + sizeof(T) > size_) {
            ADD_FAILURE() << "read past the table's end at offset " << offset;
            return false;
        }
        std::memcpy(&value, data_ + offset, sizeof(T));
        return true;
    }

    const unsigned char* data_;
    size_t size_;
};

std::map<DWORD, Entry> ReadTable(LANGID language) {
    const HRSRC info = FindResourceExW(Library(), RT_MESSAGETABLE, MAKEINTRESOURCEW(1), language);
    if (info == nullptr) {
        ADD_FAILURE() << "no message table in language " << std::hex << language;
        return {};
    }
    const HGLOBAL loaded = LoadResource(Library(), info);
    const auto* data = static_cast<const unsigned char*>(LockResource(loaded));
    if (data == nullptr) {
        ADD_FAILURE() << "message table cannot be loaded";
        return {};
    }
    return TableReader(data, SizeofResource(Library(), info)).Entries();
}

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR names) {
    reinterpret_cast<std::set<ULONG_PTR>*>(names)->insert(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR languages) {
    reinterpret_cast<std::set<WORD>*>(languages)->insert(language);
    return TRUE;
}

TEST(MessageTable, IsOneResourceInEnglishAndGerman) {
    ASSERT_NE(Library(), nullptr);
    std::set<ULONG_PTR> names;
    EnumResourceNamesW(Library(), RT_MESSAGETABLE, CollectName, reinterpret_cast<LONG_PTR>(&names));
    EXPECT_EQ(names, std::set<ULONG_PTR>{1});
    std::set<WORD> languages;
    EnumResourceLanguagesW(Library(), RT_MESSAGETABLE, MAKEINTRESOURCEW(1), CollectLanguage,
                           reinterpret_cast<LONG_PTR>(&languages));
    EXPECT_EQ(languages, (std::set<WORD>{kGerman, kEnglish}));
}

TEST(MessageTable, HoldsEveryTextAsCodePage1252Bytes) {
    std::set<DWORD> expectedIds;
    for (const Message& message : kMessages) {
        expectedIds.insert(message.id);
    }
    for (const LANGID language : kLanguages) {
        SCOPED_TRACE(::testing::Message() << "language " << std::hex << language);
        const std::map<DWORD, Entry> table = ReadTable(language);
        std::set<DWORD> ids;
        for (const auto& [id, entry] : table) {
            ids.insert(id);
        }
        EXPECT_EQ(ids, expectedIds);
        for (const Message& message : kMessages) {
            SCOPED_TRACE(::testing::Message() << "id " << std::hex << message.id);
            const auto found = table.find(message.id);
            if (found == table.end()) {
                continue;  // reported by the comparison of the ids
            }
            EXPECT_EQ(found->second.flags, 0) << "not 8-bit text";
            EXPECT_EQ(found->second.text, Cp1252(Text(message, language)));
        }
    }
}

// The 8-bit texts reach callers through the process's ANSI code page; the test
// environment pins a Western one.
TEST(MessageTable, ProcessUsesTheWesternAnsiCodePage) { EXPECT_EQ(GetACP(), 1252u); }

TEST(MessageTable, FormatMessageYieldsEveryTextInTheLanguageAsked) {
    for (const LANGID language : kLanguages) {
        for (const Message& message : kMessages) {
            SCOPED_TRACE(::testing::Message() << "id " << std::hex << message.id << " language " << language);
            wchar_t* text = nullptr;
            const DWORD length = VtlsFormatMessage(
                FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                message.id, language, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
            const std::wstring expected = Text(message, language);
            EXPECT_EQ(length, expected.size());
            EXPECT_EQ(text != nullptr ? std::wstring(text) : L"(none)", expected);
            LocalFree(text);
        }
    }
}

}  // namespace
