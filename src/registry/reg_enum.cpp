// VtlsRegEnumKey: subkey names with the GUID tag kept in their class string.
#include <objbase.h>

#include <cstring>

#include "VantrelSh.h"
#include "registry/portable/reg_result.h"

extern "C" HRESULT WINAPI VtlsRegEnumKey(HKEY key, DWORD index, LPWSTR name, DWORD capacity, GUID* keyClass) {
    if (keyClass != nullptr) {
        std::memset(keyClass, 0, sizeof(*keyClass));
    }
    WCHAR classText[48];
    DWORD classCapacity = 48;
    const LONG error =
        RegEnumKeyExW(key, index, name, &capacity, nullptr, classText, &classCapacity, nullptr);
    if (error == ERROR_SUCCESS) {
        if (keyClass != nullptr && FAILED(CLSIDFromString(classText, keyClass))) {
            // Empty or not a GUID: untagged.
            std::memset(keyClass, 0, sizeof(*keyClass));
        }
        return S_OK;
    }
    if (error == ERROR_NO_MORE_ITEMS) {
        return S_FALSE;
    }
    return vtls::registry::HResultFromRegError(static_cast<DWORD>(error));
}
