// Finding items of a menu: by command id (submenu, position) and separators by
// position.
#include "VantrelSh.h"
#include "ui/menu_items.h"

using vtls::ui::MakeMenuItemInfo;

extern "C" HMENU WINAPI SHGetMenuFromID(HMENU menu, UINT id) {
    MENUITEMINFOW info = MakeMenuItemInfo(MIIM_SUBMENU);
    info.hSubMenu = nullptr;
    if (!GetMenuItemInfoW(menu, LOWORD(id), FALSE, &info)) {
        return nullptr;
    }
    return info.hSubMenu;
}

extern "C" INT WINAPI SHGetMenuPos(HMENU menu, UINT id) {
    const int count = GetMenuItemCount(menu);
    if (count < 1) {
        return -1;
    }
    const UINT wanted = LOWORD(id);
    for (int position = 0; position < count; ++position) {
        MENUITEMINFOW info = MakeMenuItemInfo(MIIM_ID);
        // Items that cannot be read are passed over.
        if (GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info) && info.wID == wanted) {
            return position;
        }
    }
    return -1;
}

extern "C" BOOL WINAPI SHIsMenuSeparator(HMENU menu, UINT position) {
    return vtls::ui::IsSeparatorAt(menu, position) ? TRUE : FALSE;
}
