/* Uses the library from C: an item ID built, compared and freed, the shell
 * version, a clipboard format, and a registry value round trip. */
#include <windows.h>
#include <shlobj.h>
#include <stdio.h>

#include "VantrelSh.h"

static int failures = 0;

static void check(int ok, const char* what) {
    printf("%s %s\n", ok ? "ok  " : "FAIL", what);
    if (!ok) {
        ++failures;
    }
}

int main(void) {
    DWORD platform = 0, major = 0, minor = 0;
    static const GUID kind = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    LPITEMIDLIST first = NULL;
    LPITEMIDLIST second = NULL;
    HRESULT order = E_FAIL;
    HKEY key = NULL;
    DWORD number = 42, readBack = 0, size = sizeof readBack;

    SHGetVersion(&platform, &major, &minor);
    check(major >= 4, "SHGetVersion reports a shell");
    check(VtlsGetItemIDListFormat(NULL) != 0, "the item list clipboard format is registered");

    first = VtlsCreateID(L"Alpha", 3, 0, &kind, 0, NULL);
    second = VtlsCreateID(L"Beta", 3, 0, &kind, 0, NULL);
    check(first != NULL && second != NULL, "VtlsCreateID builds items");
    order = VtlsComparePIDLs(first, second);
    check(SUCCEEDED(order) && (order & 0xFFFF) == 0xFFFF, "Alpha sorts before Beta");
    VtlsSHFree(first);
    VtlsSHFree(second);

    check(SUCCEEDED(VtlsRegCreateKey(HKEY_CURRENT_USER, L"Software\\VantrelShConsumer", &key, KEY_ALL_ACCESS, NULL)),
          "VtlsRegCreateKey");
    check(SUCCEEDED(VtlsRegSetValue(key, L"Number", REG_DWORD, &number, sizeof number)), "VtlsRegSetValue");
    check(VtlsRegQueryValue(key, L"Number", REG_DWORD, &readBack, &size) == S_OK && readBack == 42,
          "VtlsRegQueryValue reads it back");
    VtlsRegCloseKey(key);
    check(SUCCEEDED(VtlsRegDeleteKey(HKEY_CURRENT_USER, L"Software\\VantrelShConsumer")), "VtlsRegDeleteKey");

    printf("%s\n", failures == 0 ? "consumer: all ok" : "consumer: failures");
    return failures == 0 ? 0 : 1;
}
