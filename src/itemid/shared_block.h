// A block of memory handed between processes or to a caller: fixed global memory
// when the name is null, else a mapping backed by the paging file. The name
// argument travels with the handle; reaching and releasing a block only look at
// whether it is null.
#pragma once

#include <windows.h>

namespace vtls {

// "pagefile" (exact case) asks for an unnamed mapping; any other name names it.
inline constexpr wchar_t kUnnamedMapping[] = L"pagefile";

// The new block's handle, or null with the thread's last error set.
[[nodiscard]] HANDLE CreateSharedBlock(DWORD bytes, LPCWSTR name) noexcept;

// The address of the block's contents, or null.
[[nodiscard]] void* LockSharedBlock(HANDLE block, LPCWSTR name) noexcept;

void UnlockSharedBlock(HANDLE block, void* contents, LPCWSTR name) noexcept;

}  // namespace vtls
