// A throw-away key under HKEY_CURRENT_USER\Software for the registry tests; the
// destructor removes it with everything below it, also after a failed assertion.
#pragma once

#include <windows.h>
#include <sddl.h>

#include <map>
#include <string>
#include <vector>

namespace vtls::test {

class ScratchKey {
public:
    ScratchKey() {
        static int counter = 0;
        path_ = L"Software\\VantrelShRegTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                std::to_wstring(++counter);
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, &key_, nullptr);
    }
    ~ScratchKey() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    HKEY get() const { return key_; }
    const std::wstring& path() const { return path_; }

private:
    std::wstring path_;
    HKEY key_ = nullptr;
};

// Plain platform helpers, independent of the library under test.
inline bool KeyExists(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

// Creates parent\path level by level, the class only on the last level: a
// multi-level RegCreateKeyExW in Wine rewrites the class of existing levels.
inline LONG MakeKey(HKEY parent, const std::wstring& path, const wchar_t* keyClass = nullptr,
                    DWORD options = REG_OPTION_NON_VOLATILE) {
    HKEY at = parent;
    HKEY owned = nullptr;
    size_t start = 0;
    LONG error = ERROR_SUCCESS;
    while (error == ERROR_SUCCESS) {
        const size_t end = path.find(L'\\', start);
        const bool last = end == std::wstring::npos;
        const std::wstring name = path.substr(start, last ? std::wstring::npos : end - start);
        HKEY next = nullptr;
        error = last ? ERROR_FILE_NOT_FOUND : RegOpenKeyExW(at, name.c_str(), 0, KEY_ALL_ACCESS, &next);
        if (error == ERROR_FILE_NOT_FOUND) {
            error = RegCreateKeyExW(at, name.c_str(), 0, last ? const_cast<wchar_t*>(keyClass) : nullptr, options,
                                    KEY_ALL_ACCESS, nullptr, &next, nullptr);
        }
        if (owned != nullptr) {
            RegCloseKey(owned);
        }
        owned = error == ERROR_SUCCESS ? next : nullptr;
        at = owned;
        if (last) {
            break;
        }
        start = end + 1;
    }
    if (owned != nullptr) {
        RegCloseKey(owned);
    }
    return error;
}

// Opens the key first: Wine's RegSetKeyValueW creates it with RegCreateKeyExW,
// which clears the class of an existing key.
inline LONG PutValue(HKEY parent, const std::wstring& path, const wchar_t* name, DWORD type,
                     const std::vector<BYTE>& data) {
    HKEY key = nullptr;
    LONG error = RegOpenKeyExW(parent, path.c_str(), 0, KEY_SET_VALUE, &key);
    if (error == ERROR_SUCCESS) {
        error = RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
    }
    return error;
}

inline std::wstring KeyClass(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return L"<missing>";
    }
    wchar_t text[512] = {};
    DWORD chars = 512;
    const LONG error = RegQueryInfoKeyW(key, text, &chars, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                                        nullptr, nullptr, nullptr);
    RegCloseKey(key);
    return error == ERROR_SUCCESS ? std::wstring(text, chars) : L"<error>";
}

inline LONG SetKeyDacl(HKEY parent, const std::wstring& path, const wchar_t* sddl) {
    HKEY key = nullptr;
    LONG error = RegOpenKeyExW(parent, path.c_str(), 0, WRITE_DAC, &key);
    if (error != ERROR_SUCCESS) {
        return error;
    }
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        RegCloseKey(key);
        return static_cast<LONG>(GetLastError());
    }
    error = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    RegCloseKey(key);
    return error;
}

// A DACL that keeps the key from listing its subkeys, lifted again on scope exit
// so that the scratch key can be removed.
class DenyEnumeration {
public:
    DenyEnumeration(HKEY parent, std::wstring path) : parent_(parent), path_(std::move(path)) {
        result_ = SetKeyDacl(parent_, path_, L"D:(D;;0x8;;;WD)(A;;KA;;;WD)");
    }
    ~DenyEnumeration() { SetKeyDacl(parent_, path_, L"D:(A;;KA;;;WD)"); }
    DenyEnumeration(const DenyEnumeration&) = delete;
    DenyEnumeration& operator=(const DenyEnumeration&) = delete;
    LONG result() const { return result_; }

private:
    HKEY parent_;
    std::wstring path_;
    LONG result_ = ERROR_SUCCESS;
};

// Everything of a key tree that a copy must reproduce, read with the platform.
struct ValueSnapshot {
    DWORD type = 0;
    std::vector<BYTE> data;
    bool operator==(const ValueSnapshot& other) const { return type == other.type && data == other.data; }
};
struct TreeSnapshot {
    std::wstring keyClass;
    std::map<std::wstring, ValueSnapshot> values;
    std::map<std::wstring, TreeSnapshot> subkeys;
    bool operator==(const TreeSnapshot& other) const {
        return keyClass == other.keyClass && values == other.values && subkeys == other.subkeys;
    }
};

inline TreeSnapshot Snapshot(HKEY key) {
    TreeSnapshot tree;
    wchar_t text[512] = {};
    DWORD chars = 512;
    RegQueryInfoKeyW(key, text, &chars, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    tree.keyClass.assign(text, chars);
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD nameChars = 512;
        std::vector<BYTE> data(65536);
        DWORD bytes = static_cast<DWORD>(data.size());
        DWORD type = 0;
        if (RegEnumValueW(key, index, name, &nameChars, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) {
            break;
        }
        data.resize(bytes);
        tree.values[std::wstring(name, nameChars)] = ValueSnapshot{type, data};
    }
    for (DWORD index = 0;; ++index) {
        wchar_t name[512];
        DWORD nameChars = 512;
        if (RegEnumKeyExW(key, index, name, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        HKEY subkey = nullptr;
        if (RegOpenKeyExW(key, name, 0, KEY_READ, &subkey) == ERROR_SUCCESS) {
            tree.subkeys[std::wstring(name, nameChars)] = Snapshot(subkey);
            RegCloseKey(subkey);
        }
    }
    return tree;
}

inline TreeSnapshot Snapshot(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return TreeSnapshot{L"<missing>", {}, {}};
    }
    TreeSnapshot tree = Snapshot(key);
    RegCloseKey(key);
    return tree;
}

inline std::vector<BYTE> Bytes(const std::wstring& text) {
    const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(first, first + (text.size() + 1) * sizeof(wchar_t));
}

}  // namespace vtls::test
