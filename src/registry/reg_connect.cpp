// VtlsRegConnectRegistry: the same root keys, local or on another machine.
#include "VantrelSh.h"
#include "registry/portable/reg_result.h"
#include "base/unique_resource.h"

extern "C" HRESULT WINAPI VtlsRegConnectRegistry(LPCWSTR machine, HKEY root, HKEY* out) {
    if (machine == nullptr || machine[0] == L'\0') {
        *out = root;
        return S_OK;
    }
    // The platform cannot connect to a class root; a remote machine's classes
    // are its HKEY_LOCAL_MACHINE\Software\Classes.
    const bool classes = root == HKEY_CLASSES_ROOT;
    const LONG error = RegConnectRegistryW(machine, classes ? HKEY_LOCAL_MACHINE : root, out);
    if (error != ERROR_SUCCESS || !classes) {
        return vtls::registry::HResultFromRegError(static_cast<DWORD>(error));
    }
    const vtls::UniqueRegKey machineRoot(*out);
    *out = nullptr;
    return VtlsRegOpenKey(machineRoot.get(), L"Software\\Classes", out, MAXIMUM_ALLOWED);
}
