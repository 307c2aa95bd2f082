// Internal helpers on item identifier lists of the process's own making.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <memory>

#include "base/item_list_owner.h"
#include "itemid/shell_allocator.h"

namespace vtls {

// Sum of the items' sizes without the terminator; 0 for null or an empty list.
[[nodiscard]] UINT GetIDListSize(LPCITEMIDLIST list) noexcept;

// A whole copy, terminator included, from SHAlloc; null for null or on failure.
[[nodiscard]] LPITEMIDLIST CloneIDList(LPCITEMIDLIST list) noexcept;


[[nodiscard]] inline const std::uint8_t* Bytes(LPCITEMIDLIST list) noexcept {
    return reinterpret_cast<const std::uint8_t*>(list);
}

}  // namespace vtls
