// Registrations of the tests' COM peers in the test prefix, removed again when
// the owner goes, also after a failed assertion. Wine does not show per-user
// classes (HKCU\Software\Classes) through HKEY_CLASSES_ROOT, so classes go to
// HKLM\Software\Classes. Plain platform calls, independent of the library.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_resource.h"
#include "support/child_process.h"

namespace vtls::test {

inline std::wstring ClassKeyPath(const CLSID& classId) {
    wchar_t text[64] = {};
    StringFromGUID2(classId, text, 64);
    return std::wstring(L"Software\\Classes\\CLSID\\") + text;
}

// CLSID\{classId}\<serverKey> = command, with a threading model for in-process
// servers.
class ClassRegistration {
public:
    ClassRegistration(const CLSID& classId, const wchar_t* serverKey, const std::wstring& command)
        : path_(ClassKeyPath(classId)) {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str());
        const std::wstring serverPath = path_ + L"\\" + serverKey;
        LONG error = Set(serverPath, nullptr, command);
        if (error == ERROR_SUCCESS && std::wstring(serverKey) == L"InprocServer32") {
            error = Set(serverPath, L"ThreadingModel", L"Both");
        }
        ok_ = error == ERROR_SUCCESS && VisibleThroughClassesRoot(serverPath);
    }
    ~ClassRegistration() { RegDeleteTreeW(HKEY_LOCAL_MACHINE, path_.c_str()); }
    ClassRegistration(const ClassRegistration&) = delete;
    ClassRegistration& operator=(const ClassRegistration&) = delete;

    [[nodiscard]] bool ok() const { return ok_; }

private:
    // COM reads HKEY_CLASSES_ROOT; once in a full run the first activation after
    // registering answered REGDB_E_CLASSNOTREG, so the registration is awaited
    // there before any test relies on it.
    static bool VisibleThroughClassesRoot(const std::wstring& machinePath) {
        const std::wstring classesPath = machinePath.substr(std::wstring(L"Software\\Classes\\").size());
        for (int attempt = 0; attempt < 100; ++attempt) {
            HKEY key = nullptr;
            if (RegOpenKeyExW(HKEY_CLASSES_ROOT, classesPath.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
                RegCloseKey(key);
                return true;
            }
            Sleep(50);
        }
        return false;
    }

    static LONG Set(const std::wstring& path, const wchar_t* name, const std::wstring& value) {
        return RegSetKeyValueW(HKEY_LOCAL_MACHINE, path.c_str(), name, REG_SZ, value.c_str(),
                               static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }

    std::wstring path_;
    bool ok_ = false;
};

// A proxy/stub DLL registered by its own DllRegisterServer and unregistered by
// its DllUnregisterServer.
class ProxyStubRegistration {
public:
    explicit ProxyStubRegistration(const wchar_t* dll) : module_(LoadLibraryW((ProgramFolder() + L"\\" + dll).c_str())) {
        result_ = Call("DllRegisterServer");
    }
    ~ProxyStubRegistration() {
        if (SUCCEEDED(result_)) {
            Call("DllUnregisterServer");
        }
    }
    ProxyStubRegistration(const ProxyStubRegistration&) = delete;
    ProxyStubRegistration& operator=(const ProxyStubRegistration&) = delete;

    [[nodiscard]] HRESULT result() const { return result_; }

private:
    HRESULT Call(const char* name) const {
        if (!module_) {
            return HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND);
        }
        using Entry = HRESULT(WINAPI*)();
        const auto entry = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module_.get(), name)));
        return entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }

    UniqueModule module_;
    HRESULT result_ = E_FAIL;
};

// COM on the test's thread for one scope.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

    [[nodiscard]] HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

}  // namespace vtls::test
