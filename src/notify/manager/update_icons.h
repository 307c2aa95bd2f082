// Whether the notify window refreshes the icons of a folder right now.
#pragma once

#include <windows.h>

#include "base/critical_section.h"

namespace vtls {

// Guards g_bInUpdateIcon, which is set while the notify window refreshes icons.
extern CriticalSection g_csUpdateIcon;
extern BOOL g_bInUpdateIcon;

}  // namespace vtls
