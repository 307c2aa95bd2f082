// VtlsRegOpenKey, VtlsRegCreateKey, VtlsRegCloseKey: keys by path, created only when new.
#include <objbase.h>

#include "VantrelSh.h"
#include "registry/new_key.h"
#include "registry/portable/reg_result.h"

using vtls::registry::HResultFromRegError;

extern "C" HRESULT WINAPI VtlsRegOpenKey(HKEY key, LPCWSTR path, HKEY* out, REGSAM access) {
    return HResultFromRegError(static_cast<DWORD>(RegOpenKeyExW(key, path, 0, access, out)));
}

extern "C" HRESULT WINAPI VtlsRegCreateKey(HKEY key, LPCWSTR path, HKEY* out, REGSAM access,
                                           const GUID* keyClass) {
    WCHAR classText[60];
    LPCWSTR classString = nullptr;
    if (keyClass != nullptr) {
        if (StringFromGUID2(*keyClass, classText, 60) == 0) {
            return E_UNEXPECTED;
        }
        classString = classText;
    }
    return HResultFromRegError(
        static_cast<DWORD>(vtls::registry::CreateNewKey(key, path, classString, access, out)));
}

extern "C" HRESULT WINAPI VtlsRegCloseKey(HKEY key) {
    // The roots are shared by value (also as "remote" handles of this machine),
    // so callers may close whatever they were given.
    if (key == nullptr || key == HKEY_CLASSES_ROOT || key == HKEY_CURRENT_USER || key == HKEY_LOCAL_MACHINE) {
        return S_OK;
    }
    return RegCloseKey(key) == ERROR_SUCCESS ? S_OK : E_INVALIDARG;
}
