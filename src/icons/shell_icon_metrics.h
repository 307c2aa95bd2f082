// The shell icon settings of the process, read once while the library attaches.
#pragma once

namespace vtls {

// Sets g_nShellIconSize and g_bHighColorIcons from the user's shell settings.
void InitShellIconMetrics() noexcept;

}  // namespace vtls
