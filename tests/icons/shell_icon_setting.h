// Sets the user's shell icon size and colour depth for one test and puts back
// whatever was there before, also after a failed assertion.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace vtls::test {

class ShellIconSetting {
public:
    static constexpr const wchar_t* kKey = L"Control Panel\\Desktop\\WindowMetrics";
    static constexpr const wchar_t* kSize = L"Shell Icon Size";
    static constexpr const wchar_t* kBpp = L"Shell Icon BPP";

    ShellIconSetting() {
        HKEY existing = nullptr;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ, &existing) == ERROR_SUCCESS) {
            keyExisted_ = true;
            SaveAll(existing);
            RegCloseKey(existing);
        }
        Open();
    }
    ~ShellIconSetting() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
        if (keyExisted_) {
            Open();
            for (const Saved& value : saved_) {
                RegSetValueExW(key_, value.name.c_str(), 0, value.type, value.bytes.data(),
                               static_cast<DWORD>(value.bytes.size()));
            }
            RegCloseKey(key_);
        }
    }
    ShellIconSetting(const ShellIconSetting&) = delete;
    ShellIconSetting& operator=(const ShellIconSetting&) = delete;

    void SetText(const wchar_t* name, const std::wstring& text) const {
        SetBytes(name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    }
    void SetNumber(const wchar_t* name, DWORD number) const { SetBytes(name, REG_DWORD, &number, sizeof number); }
    void SetBytes(const wchar_t* name, DWORD type, const void* bytes, size_t size) const {
        RegSetValueExW(key_, name, 0, type, static_cast<const BYTE*>(bytes), static_cast<DWORD>(size));
    }
    void Remove(const wchar_t* name) const { RegDeleteValueW(key_, name); }
    // The whole key gone, as for a user who never chose a setting.
    void RemoveKey() {
        RegCloseKey(key_);
        key_ = nullptr;
        RegDeleteTreeW(HKEY_CURRENT_USER, kKey);
    }

private:
    struct Saved {
        std::wstring name;
        DWORD type;
        std::vector<BYTE> bytes;
    };

    void Open() { RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_, nullptr); }
    void SaveAll(HKEY key) {
        for (DWORD index = 0;; ++index) {
            wchar_t name[256];
            DWORD chars = 256;
            DWORD type = 0;
            BYTE bytes[4096];
            DWORD size = sizeof bytes;
            if (RegEnumValueW(key, index, name, &chars, nullptr, &type, bytes, &size) != ERROR_SUCCESS) {
                break;
            }
            saved_.push_back({std::wstring(name, chars), type, std::vector<BYTE>(bytes, bytes + size)});
        }
    }

    bool keyExisted_ = false;
    HKEY key_ = nullptr;
    std::vector<Saved> saved_;
};

}  // namespace vtls::test
