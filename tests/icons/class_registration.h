// A COM class registered for one test under HKEY_LOCAL_MACHINE\Software\Classes
// (where HKEY_CLASSES_ROOT reads it; Wine does not merge per-user classes into
// it), with a fresh class id; the destructor removes it, also after a failed
// assertion.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <string>

namespace vtls::test {

class ClassRegistration {
public:
    ClassRegistration() {
        CoCreateGuid(&id_);
        wchar_t text[40] = {};
        StringFromGUID2(id_, text, 40);
        text_ = text;
        path_ = L"Software\\Classes\\CLSID\\" + text_;
        created_ = RegCreateKeyExW(HKEY_LOCAL_MACHINE, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key_,
                                   nullptr) == ERROR_SUCCESS;
    }
    ~ClassRegistration() {
        if (key_ != nullptr) {
            RegCloseKey(key_);
        }
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
    }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

    [[nodiscard]] bool created() const { return created_; }
    [[nodiscard]] const CLSID& id() const { return id_; }
    [[nodiscard]] const std::wstring& text() const { return text_; }
    [[nodiscard]] const std::wstring& path() const { return path_; }

    // The default value of the class's subkey, created as needed.
    LONG SetDefault(const wchar_t* subkey, DWORD type, const std::wstring& value) const {
        return SetDefaultBytes(subkey, type, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
    }
    LONG SetDefaultBytes(const wchar_t* subkey, DWORD type, const void* bytes, size_t size) const {
        HKEY sub = nullptr;
        LONG error = RegCreateKeyExW(key_, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        if (error == ERROR_SUCCESS) {
            error = RegSetValueExW(sub, nullptr, 0, type, static_cast<const BYTE*>(bytes), static_cast<DWORD>(size));
            RegCloseKey(sub);
        }
        return error;
    }
    // The subkey with no default value.
    LONG AddEmpty(const wchar_t* subkey) const {
        HKEY sub = nullptr;
        const LONG error = RegCreateKeyExW(key_, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        if (error == ERROR_SUCCESS) {
            RegCloseKey(sub);
        }
        return error;
    }

private:
    CLSID id_{};
    std::wstring text_;
    std::wstring path_;
    HKEY key_ = nullptr;
    bool created_ = false;
};

}  // namespace vtls::test
