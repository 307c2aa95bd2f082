/* The public header in C89 (pedantic), after the platform's headers. Taking
 * the addresses pins each declaration's calling convention and signature. */
#include <windows.h>
#include <shlobj.h>

#include "VantrelSh.h"

typedef HRESULT(WINAPI* OpenStreamFunction)(HKEY, LPCWSTR, IStream**);
typedef LPITEMIDLIST(WINAPI* CreateIdFunction)(LPCWSTR, INT, DWORD, const GUID*, INT, const void*);

int VtlsHeaderC89(void) {
    OpenStreamFunction openStream = VtlsRegOpenStream;
    CreateIdFunction createId = VtlsCreateID;
    void(WINAPI * shellFree)(void*) = VtlsSHFree;
    return openStream != NULL && createId != NULL && shellFree != NULL && VTLS_ITEM_SIGNATURE == 0x25031972;
}
