// Copying one open key, its subkeys, values and class strings, to a new key.
#pragma once

#include <windows.h>

namespace vtls::registry {

// Creates destParent\destName (which must not exist) as a copy of source. On
// failure whatever was created is deleted again. out, if given, receives the
// open new key on success and null otherwise.
[[nodiscard]] HRESULT CopyKeyTree(HKEY source, HKEY destParent, LPCWSTR destName, HKEY* out) noexcept;

}  // namespace vtls::registry
