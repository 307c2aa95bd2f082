// VtlsRegQueryValue, VtlsRegSetValue, VtlsRegDeleteValue: values of any type;
// writing zero bytes deletes.
#include "VantrelSh.h"
#include "registry/portable/reg_result.h"

using vtls::registry::HResultFromRegError;

extern "C" HRESULT WINAPI VtlsRegQueryValue(HKEY key, LPCWSTR name, DWORD type, void* data, DWORD* size) {
    DWORD actualType = REG_NONE;
    const LONG error = RegQueryValueExW(key, name, nullptr, &actualType, static_cast<BYTE*>(data), size);
    if (error == ERROR_SUCCESS) {
        return type == 0 || type == actualType ? S_OK : HResultFromRegError(ERROR_FILE_NOT_FOUND);
    }
    if (error == ERROR_MORE_DATA) {
        return S_FALSE;  // *size holds the bytes needed
    }
    return HResultFromRegError(static_cast<DWORD>(error));
}

extern "C" HRESULT WINAPI VtlsRegSetValue(HKEY key, LPCWSTR name, DWORD type, const void* data, DWORD size) {
    if (size != 0) {
        return HResultFromRegError(
            static_cast<DWORD>(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size)));
    }
    const LONG error = RegDeleteValueW(key, name);
    // The goal, no value, is reached when there was none to delete.
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_KEY_DELETED) {
        return S_OK;
    }
    return HResultFromRegError(static_cast<DWORD>(error));
}

extern "C" HRESULT WINAPI VtlsRegDeleteValue(HKEY key, LPCWSTR name) {
    return HResultFromRegError(static_cast<DWORD>(RegDeleteValueW(key, name)));
}
