// Whether the tests run under Wine, for the few facts where Wine is known to
// differ from Windows.
#pragma once

#include <windows.h>

namespace vtls::test {

inline bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

}  // namespace vtls::test
