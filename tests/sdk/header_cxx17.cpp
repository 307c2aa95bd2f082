// The public header in C++17 between the platform's headers: C linkage, and
// the exports that share a name with <shlobj.h> declarations under their own.
#include <windows.h>

#include "VantrelSh.h"

#include <shlobj.h>

#include <type_traits>

static_assert(std::is_same_v<decltype(&VtlsSHAlloc), void*(WINAPI*)(ULONG)>);
static_assert(std::is_same_v<decltype(&VtlsRegSaveStream), HRESULT(WINAPI*)(HKEY, LPCWSTR, IStream*)>);

static_assert(std::is_same_v<decltype(&SHUseHighColorIcons), BOOL(WINAPI*)()>);

// The checks are the assertions above; this keeps the object non-empty.
extern "C" int VtlsHeaderCxx17() { return 1; }
