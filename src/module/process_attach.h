#pragma once

#include <windows.h>

namespace vtls {

// The library's start-up in a process: module record, version flags, clipboard
// formats. Never fails; each step leaves its defaults when the platform refuses.
void OnProcessAttach(HINSTANCE instance) noexcept;

}  // namespace vtls
