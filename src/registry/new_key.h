// Creating a key only when it is new. Wine's RegCreateKeyExW rewrites the class
// of a key that already exists, so existence is checked with an open first.
#pragma once

#include <windows.h>

namespace vtls::registry {

// ERROR_FILE_EXISTS, with *out null, when path already names a key under
// parent; otherwise the platform's code of creating it (non-volatile).
[[nodiscard]] LONG CreateNewKey(HKEY parent, LPCWSTR path, LPCWSTR keyClass, REGSAM access,
                                HKEY* out) noexcept;

}  // namespace vtls::registry
