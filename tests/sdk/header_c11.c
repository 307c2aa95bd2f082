/* The public header in C11, before the platform's headers. */
#include "VantrelSh.h"

#include <shlobj.h>
#include <windows.h>

_Static_assert(VTLS_ITEM_KIND_REAL == 3, "item kinds");

int VtlsHeaderC11(void) {
    HRESULT(WINAPI * compare)(LPCITEMIDLIST, LPCITEMIDLIST) = VtlsComparePIDLs;
    return compare != NULL;
}
