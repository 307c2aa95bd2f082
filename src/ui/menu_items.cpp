#include "ui/menu_items.h"

namespace vtls::ui {

MENUITEMINFOW MakeMenuItemInfo(UINT mask) noexcept {
    MENUITEMINFOW info{};
    info.cbSize = kMenuItemInfoSize;
    info.fMask = mask;
    return info;
}

bool IsSeparatorAt(HMENU menu, UINT position) noexcept {
    MENUITEMINFOW info = MakeMenuItemInfo(MIIM_TYPE);
    // No text wanted: cch 0 and no buffer.
    info.dwTypeData = nullptr;
    info.cch = 0;
    if (!GetMenuItemInfoW(menu, position, TRUE, &info)) {
        return false;
    }
    return (info.fType & MFT_SEPARATOR) != 0;
}

}  // namespace vtls::ui
