// The platform and shell flags of the process, derived from the shell version
// while the library attaches and only read afterwards.
#pragma once

#include <windows.h>

namespace vtls {

extern BOOL g_bIsNT;
extern BOOL g_bIsIntegratedIE;
extern BOOL g_bIsWin2000;

}  // namespace vtls
