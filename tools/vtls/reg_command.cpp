// vtls reg: copies, deletes and prints registry trees through the library's
// registry functions, on this machine or a named one.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "arguments.h"
#include "commands.h"
#include "console.h"

namespace vtls::tool {
namespace {

constexpr const char* kUsage =
    "usage: vtls reg tree   <key> [--machine M]\n"
    "       vtls reg copy   <key> <new key> [--machine M]\n"
    "       vtls reg delete <key> [--machine M]\n"
    "\n"
    "  <key>         a root and a path: HKCU\\Software\\Example; roots are HKCR,\n"
    "                HKCU, HKLM and HKU, or their HKEY_... names\n"
    "  tree          prints the key, its values and everything below it\n"
    "  copy          copies the key with its subkeys, values and classes to a new\n"
    "                key under the same root; a failed copy leaves nothing behind\n"
    "  delete        deletes the key and everything below it, as much as it can\n"
    "  --machine M   the registry of machine M (with or without \\\\) instead of\n"
    "                this one's\n";

constexpr DWORD kNameChars = 260;

struct KeyPath {
    HKEY root = nullptr;
    std::wstring rootName;
    std::wstring path;
};

bool ParseKeyPath(const std::wstring& text, KeyPath& key) {
    static const struct {
        const wchar_t* shortName;
        const wchar_t* longName;
        HKEY root;
    } kRoots[] = {
        {L"HKCR", L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
        {L"HKCU", L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
        {L"HKLM", L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
        {L"HKU", L"HKEY_USERS", HKEY_USERS},
    };
    const size_t separator = text.find(L'\\');
    const std::wstring rootText = text.substr(0, separator);
    key.path = separator == std::wstring::npos ? L"" : text.substr(separator + 1);
    while (!key.path.empty() && key.path.back() == L'\\') {
        key.path.pop_back();
    }
    for (const auto& root : kRoots) {
        if (_wcsicmp(rootText.c_str(), root.shortName) == 0 || _wcsicmp(rootText.c_str(), root.longName) == 0) {
            key.root = root.root;
            key.rootName = root.shortName;
            return true;
        }
    }
    return false;
}

std::string ResultText(HRESULT result) {
    const char* meaning = "failed";
    switch (result) {
        case STG_E_FILENOTFOUND: meaning = "not found"; break;
        case STG_E_ACCESSDENIED: meaning = "access denied"; break;
        case STG_E_FILEALREADYEXISTS: meaning = "already exists"; break;
        case E_INVALIDARG: meaning = "invalid argument"; break;
        case E_UNEXPECTED: meaning = "unexpected failure (unreachable machine, name or value too long)"; break;
        default: break;
    }
    return Format("0x%08lX, %s", static_cast<unsigned long>(result), meaning);
}

// Closes a key of the library's functions (the predefined roots stay open).
class LibraryKey {
public:
    LibraryKey() = default;
    LibraryKey(const LibraryKey&) = delete;
    LibraryKey& operator=(const LibraryKey&) = delete;
    ~LibraryKey() { static_cast<void>(VtlsRegCloseKey(key_)); }
    HKEY* put() { return &key_; }
    [[nodiscard]] HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::string ValueText(DWORD type, const std::vector<BYTE>& data) {
    switch (type) {
        case REG_SZ:
        case REG_EXPAND_SZ: {
            std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
            while (!text.empty() && text.back() == L'\0') {
                text.pop_back();
            }
            return Format("%s \"%s\"", type == REG_SZ ? "REG_SZ" : "REG_EXPAND_SZ", ToUtf8(text).c_str());
        }
        case REG_DWORD:
            if (data.size() == sizeof(DWORD)) {
                DWORD number = 0;
                std::memcpy(&number, data.data(), sizeof number);
                return Format("REG_DWORD 0x%08lX (%lu)", static_cast<unsigned long>(number),
                              static_cast<unsigned long>(number));
            }
            break;
        default: break;
    }
    std::string text = Format("type %lu, %zu bytes", static_cast<unsigned long>(type), data.size());
    for (size_t i = 0; i < data.size() && i < 16; ++i) {
        text += Format(" %02X", data[i]);
    }
    return data.size() > 16 ? text + " ..." : text;
}

void PrintValues(HKEY key, const std::string& indent) {
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD chars = 16384;
        DWORD type = 0;
        DWORD size = 0;
        if (RegEnumValueW(key, index, name, &chars, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
            return;
        }
        std::vector<BYTE> data(size);
        chars = 16384;
        if (RegEnumValueW(key, index, name, &chars, nullptr, &type, data.data(), &size) != ERROR_SUCCESS) {
            return;  // changed under us; what was printed stands
        }
        data.resize(size);
        const std::string shownName = chars == 0 ? "(default)" : "\"" + ToUtf8(std::wstring(name, chars)) + "\"";
        Out(indent + shownName + " " + ValueText(type, data) + "\n");
    }
}

std::string ClassText(const GUID& keyClass) {
    if (IsEqualGUID(keyClass, GUID_NULL)) {
        return "";
    }
    wchar_t text[40] = {};
    StringFromGUID2(keyClass, text, 40);
    return "  class " + ToUtf8(text);
}

HRESULT PrintTree(HKEY key, const std::string& indent) {
    PrintValues(key, indent);
    for (DWORD index = 0;; ++index) {
        wchar_t name[kNameChars];
        GUID keyClass = GUID_NULL;
        const HRESULT listed = VtlsRegEnumKey(key, index, name, kNameChars, &keyClass);
        if (listed == S_FALSE) {
            return S_OK;
        }
        if (FAILED(listed)) {
            return listed;
        }
        Out(indent + ToUtf8(name) + "\\" + ClassText(keyClass) + "\n");
        LibraryKey subkey;
        const HRESULT opened = VtlsRegOpenKey(key, name, subkey.put(), KEY_READ);
        if (FAILED(opened)) {
            Out(indent + "  <cannot open: " + ResultText(opened) + ">\n");
            continue;
        }
        const HRESULT below = PrintTree(subkey.get(), indent + "  ");
        if (FAILED(below)) {
            Out(indent + "  <cannot list: " + ResultText(below) + ">\n");
        }
    }
}

struct Options {
    std::wstring verb;
    std::vector<std::wstring> keys;
    std::wstring machine;
};


int Fail(const Options& options, const std::string& what, HRESULT result) {
    Err("vtls reg " + ToUtf8(options.verb) + ": " + what + ": " + ResultText(result) + "\n");
    return kExitFailure;
}

int Reg(const Options& options) {
    std::vector<KeyPath> keys(options.keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        if (!ParseKeyPath(options.keys[i], keys[i])) {
            Err("vtls reg: '" + ToUtf8(options.keys[i]) + "' does not start with HKCR, HKCU, HKLM or HKU\n");
            return kExitUsage;
        }
    }
    if (options.verb != L"tree" && keys[0].path.empty()) {
        Err("vtls reg: a whole root cannot be " + std::string(options.verb == L"copy" ? "copied" : "deleted") + "\n");
        return kExitUsage;
    }
    if (keys.size() == 2 && (keys[1].root != keys[0].root || keys[1].path.empty())) {
        Err("vtls reg copy: the new key must be a path under the same root\n");
        return kExitUsage;
    }

    LibraryKey root;
    const HRESULT connected =
        VtlsRegConnectRegistry(options.machine.empty() ? nullptr : options.machine.c_str(), keys[0].root, root.put());
    if (FAILED(connected)) {
        return Fail(options, "cannot reach the registry of '" + ToUtf8(options.machine) + "'", connected);
    }
    const std::string shown = ToUtf8(keys[0].rootName + (keys[0].path.empty() ? L"" : L"\\" + keys[0].path));

    if (options.verb == L"delete") {
        const HRESULT deleted = VtlsRegDeleteKey(root.get(), keys[0].path.c_str());
        if (FAILED(deleted)) {
            return Fail(options, shown + (deleted == STG_E_FILENOTFOUND ? "" : " (what could be deleted is gone)"),
                        deleted);
        }
        Out("deleted " + shown + "\n");
        return kExitOk;
    }
    if (options.verb == L"copy") {
        LibraryKey copy;
        const HRESULT copied = VtlsRegCopyKey(root.get(), keys[0].path.c_str(), keys[1].path.c_str(), copy.put());
        const std::string shownCopy = ToUtf8(keys[1].rootName + L"\\" + keys[1].path);
        if (FAILED(copied)) {
            return Fail(options, copied == STG_E_FILEALREADYEXISTS ? shownCopy : shown, copied);
        }
        Out("copied " + shown + " to " + shownCopy + "\n");
        return kExitOk;
    }
    LibraryKey key;
    const HRESULT opened = VtlsRegOpenKey(root.get(), keys[0].path.c_str(), key.put(), KEY_READ);
    if (FAILED(opened)) {
        return Fail(options, shown, opened);
    }
    Out(shown + "\\\n");
    const HRESULT printed = PrintTree(key.get(), "  ");
    return FAILED(printed) ? Fail(options, shown, printed) : kExitOk;
}

}  // namespace

int RunReg(int argc, wchar_t** argv) {
    Options options;
    ArgumentReader arguments("reg", kUsage);
    arguments.Value(L"--machine", "a name", [&](const wchar_t* name) {
        options.machine = name;
        return true;
    });
    arguments.Positional([&](const wchar_t* argument) -> std::string {
        (options.verb.empty() ? options.verb : options.keys.emplace_back()) = argument;
        return "";
    });
    arguments.Check(
        [&]() -> std::string {
            if (options.verb.empty()) {
                return "tree, copy or delete?";
            }
            if (options.verb != L"tree" && options.verb != L"copy" && options.verb != L"delete") {
                return "unknown operation '" + ToUtf8(options.verb) + "'";
            }
            return "";
        },
        true);
    arguments.Check([&]() -> std::string {
        const size_t wanted = options.verb == L"copy" ? 2 : 1;
        return options.keys.size() == wanted
                   ? ""
                   : Format("%s expects %zu key%s", ToUtf8(options.verb).c_str(), wanted, wanted == 1 ? "" : "s");
    });
    return arguments.Run(argc, argv, [&] { return Reg(options); });
}

}  // namespace vtls::tool
