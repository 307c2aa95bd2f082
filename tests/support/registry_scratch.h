// Registry state the tests make and undo, also after a failed assertion: a key
// removed with its tree when the owner goes (a scratch key under HKCU, or a COM
// class under HKLM\Software\Classes, since Wine does not show per-user classes
// through HKEY_CLASSES_ROOT), and a key whose values are put back as they were.
// Plain platform calls, independent of the library.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>
#include <vector>

namespace vtls::test {

inline std::vector<BYTE> TextBytes(const std::wstring& text) {
    const auto* first = reinterpret_cast<const BYTE*>(text.c_str());
    return std::vector<BYTE>(first, first + (text.size() + 1) * sizeof(wchar_t));
}

// root\path, created empty and deleted with everything below it.
class ScratchKey {
public:
    explicit ScratchKey(HKEY root = HKEY_CURRENT_USER, std::wstring path = {}) : root_(root), path_(std::move(path)) {
        static int counter = 0;
        if (path_.empty()) {
            path_ = L"Software\\VantrelShTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                    std::to_wstring(++counter);
        }
        RegDeleteTreeW(root_, path_.c_str());
        RegCreateKeyExW(root_, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr);
    }
    ~ScratchKey() {
        if (key_ != nullptr) RegCloseKey(key_);
        RegDeleteTreeW(root_, path_.c_str());
    }
    ScratchKey(const ScratchKey&) = delete;
    ScratchKey& operator=(const ScratchKey&) = delete;

    [[nodiscard]] HKEY get() const { return key_; }
    [[nodiscard]] const std::wstring& path() const { return path_; }

    // A value of subkey (created as needed; empty: this key), null name: the default.
    LONG Set(const wchar_t* subkey, const wchar_t* name, DWORD type, const void* bytes, std::size_t size) const {
        return RegSetKeyValueW(key_, subkey, name, type, bytes, static_cast<DWORD>(size));
    }
    LONG SetText(const wchar_t* subkey, const wchar_t* name, const std::wstring& text, DWORD type = REG_SZ) const {
        return Set(subkey, name, type, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }

private:
    HKEY root_;
    std::wstring path_;
    HKEY key_ = nullptr;
};

inline std::wstring GuidText(const GUID& id) {
    wchar_t text[40] = {};
    StringFromGUID2(id, text, 40);
    return text;
}

// HKLM\Software\Classes\CLSID\{id}, with a fresh id unless one is given.
class ClassKey : public ScratchKey {
public:
    explicit ClassKey(const CLSID& id = NewId()) : ScratchKey(HKEY_LOCAL_MACHINE, Path(id)), id_(id) {}
    [[nodiscard]] const CLSID& id() const { return id_; }
    static std::wstring Path(const CLSID& id) { return L"Software\\Classes\\CLSID\\" + GuidText(id); }

    // COM reads HKEY_CLASSES_ROOT; once in a full run the first activation after
    // registering answered REGDB_E_CLASSNOTREG, so the tests wait to see it there.
    [[nodiscard]] bool Visible(const wchar_t* subkey) const {
        const std::wstring path = L"CLSID\\" + GuidText(id_) + L"\\" + subkey;
        for (int attempt = 0; attempt < 100; ++attempt, Sleep(50)) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
                RegCloseKey(key);
                return true;
            }
        }
        return false;
    }

private:
    static CLSID NewId() {
        CLSID id{};
        CoCreateGuid(&id);
        return id;
    }
    CLSID id_;
};

// The values of HKCU\path as they were, put back (and the key removed if it
// was missing) when the owner goes.
class SavedKey {
public:
    explicit SavedKey(std::wstring path) : path_(std::move(path)) {
        HKEY key = nullptr;
        existed_ = RegOpenKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
        for (DWORD index = 0; existed_; ++index) {
            wchar_t name[256];
            DWORD chars = 256, type = 0, size = 4096;
            std::vector<BYTE> bytes(size);
            if (RegEnumValueW(key, index, name, &chars, nullptr, &type, bytes.data(), &size) != ERROR_SUCCESS) break;
            bytes.resize(size);
            saved_.push_back({std::wstring(name, chars), type, std::move(bytes)});
        }
        if (key != nullptr) RegCloseKey(key);
    }
    ~SavedKey() {
        RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
        for (const Value& value : saved_) {
            RegSetKeyValueW(HKEY_CURRENT_USER, path_.c_str(), value.name.c_str(), value.type, value.bytes.data(),
                            static_cast<DWORD>(value.bytes.size()));
        }
        HKEY key = nullptr;
        if (existed_ && RegCreateKeyW(HKEY_CURRENT_USER, path_.c_str(), &key) == ERROR_SUCCESS) RegCloseKey(key);
    }
    SavedKey(const SavedKey&) = delete;
    SavedKey& operator=(const SavedKey&) = delete;

    LONG Set(const wchar_t* name, DWORD type, const void* bytes, std::size_t size) const {
        return RegSetKeyValueW(HKEY_CURRENT_USER, path_.c_str(), name, type, bytes, static_cast<DWORD>(size));
    }
    LONG SetText(const wchar_t* name, const std::wstring& text) const {
        return Set(name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    void RemoveKey() const { RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str()); }

private:
    struct Value {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> bytes;
    };
    std::wstring path_;
    bool existed_ = false;
    std::vector<Value> saved_;
};

}  // namespace vtls::test
