// Removes stray separators: at the bottom, at the top, and all but the lowest
// of each run.
#include "VantrelSh.h"
#include "ui/menu_items.h"

using vtls::ui::IsSeparatorAt;

extern "C" void WINAPI SHPrettyMenu(HMENU menu) {
    const int count = GetMenuItemCount(menu);
    // The end of the menu counts as a separator.
    bool belowIsSeparator = true;
    for (int position = count - 1; position >= 1; --position) {
        const UINT at = static_cast<UINT>(position);
        if (IsSeparatorAt(menu, at)) {
            if (belowIsSeparator) {
                DeleteMenu(menu, at, MF_BYPOSITION);
            }
            belowIsSeparator = true;
        } else {
            belowIsSeparator = false;
        }
    }
    // A deletion that fails would leave the separator in place for ever.
    while (IsSeparatorAt(menu, 0) && DeleteMenu(menu, 0, MF_BYPOSITION)) {
    }
}
