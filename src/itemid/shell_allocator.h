// Lists of the library come from the shell's task allocator and are freed with it.
#pragma once

#include <windows.h>
#include <shlobj.h>

namespace vtls {

// Owns memory from SHAlloc.
struct ShellMemoryDeleter {
    void operator()(void* memory) const noexcept;
};

}  // namespace vtls
