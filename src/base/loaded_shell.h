// Functions of shell32.dll, found only when the process has already loaded it:
// the library never loads the shell just to ask it something.
#pragma once

#include <windows.h>

namespace vtls {

template <typename Function>
[[nodiscard]] Function FindLoadedShellFunction(const char* name) noexcept {
    const HMODULE shell = GetModuleHandleW(L"shell32.dll");
    if (shell == nullptr) {
        return nullptr;
    }
    // GetProcAddress returns a generic function pointer; the caller names the real type.
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(shell, name)));
}

}  // namespace vtls
