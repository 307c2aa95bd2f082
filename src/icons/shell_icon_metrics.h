// The shell icon settings of the process, read once while the library attaches.
#pragma once

#include <windows.h>

namespace vtls {

// The shell's large-icon size and whether its icons are loaded in full colour.
extern int g_nShellIconSize;
extern BOOL g_bHighColorIcons;

// Sets g_nShellIconSize and g_bHighColorIcons from the user's shell settings.
void InitShellIconMetrics() noexcept;

}  // namespace vtls
