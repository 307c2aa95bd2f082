// Reading menu items the way every menu export does.
#pragma once

#include <windows.h>

#include <cstddef>

namespace vtls::ui {

// The structure's size up to hbmpItem: 44 on i686 as the older systems expect;
// on x86_64 the same cut is 72, the smallest size Wine accepts there.
inline constexpr UINT kMenuItemInfoSize = static_cast<UINT>(offsetof(MENUITEMINFOW, hbmpItem));

// A MENUITEMINFOW with its size set and fMask as given, everything else zero.
[[nodiscard]] MENUITEMINFOW MakeMenuItemInfo(UINT mask) noexcept;

// Whether the item at position is a separator; false when there is no such item.
[[nodiscard]] bool IsSeparatorAt(HMENU menu, UINT position) noexcept;

}  // namespace vtls::ui
