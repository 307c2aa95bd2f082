// Copies the items of one menu into another, command ids shifted into the
// caller's range, with separators kept tidy at the seams.
#include "VantrelSh.h"
#include "base/unique_resource.h"
#include "ui/menu_items.h"
#include "ui/portable/menu_merge_rules.h"

namespace {

using namespace vtls::ui;

// Texts are copied through a buffer of this many units, so longer ones are cut
// to one less.
constexpr UINT kTextUnits = 128;

void InsertSeparator(HMENU menu, UINT position) noexcept {
    MENUITEMINFOW info = MakeMenuItemInfo(MIIM_TYPE);
    info.fType = MFT_SEPARATOR;
    InsertMenuItemW(menu, position, TRUE, &info);
}

}  // namespace

extern "C" UINT WINAPI SHMergeMenu(HMENU destination, HMENU source, UINT insert, UINT idAdjust, UINT idAdjustMax,
                                   UINT flags) {
    if (destination == nullptr || source == nullptr) {
        return idAdjust;
    }
    UINT result = idAdjust;

    const int destinationCount = GetMenuItemCount(destination);
    const InsertionPoint point =
        ClampInsertion(insert, destinationCount > 0 ? static_cast<UINT>(destinationCount) : 0U);
    insert = point.position;
    if (!point.atEnd && !IsSeparatorAt(destination, insert)) {
        // A separator always stands between the merged items and the item below.
        InsertSeparator(destination, insert);
    }
    bool separatorFollows = true;

    for (int position = GetMenuItemCount(source) - 1; position >= 0; --position) {
        // Only the first unit is cleared: the text is read up to its zero, and
        // the item's text, when there is one, comes with its own.
        wchar_t text[kTextUnits];
        text[0] = L'\0';
        MENUITEMINFOW info = MakeMenuItemInfo(MIIM_STATE | MIIM_ID | MIIM_SUBMENU | MIIM_TYPE | MIIM_DATA);
        info.fType = 0;
        info.dwTypeData = text;
        info.cch = kTextUnits;
        info.hSubMenu = nullptr;
        if (!GetMenuItemInfoW(source, static_cast<UINT>(position), TRUE, &info)) {
            continue;
        }

        if ((info.fType & MFT_SEPARATOR) != 0) {
            if (separatorFollows) {
                continue;
            }
            if (InsertMenuItemW(destination, insert, TRUE, &info)) {
                separatorFollows = true;
            }
            continue;
        }

        if (info.hSubMenu != nullptr) {
            if ((flags & kMergeSubmenusHaveIds) != 0) {
                UINT shifted = 0;
                if (!ShiftMenuId(info.wID, idAdjust, idAdjustMax, &shifted)) {
                    continue;
                }
                info.wID = shifted;
                result = RaiseMergeResult(result, shifted);
            } else {
                info.fMask &= ~static_cast<UINT>(MIIM_ID);
            }
            vtls::UniqueMenu popup(CreatePopupMenu());
            if (!popup) {
                continue;
            }
            result = RaiseMergeResultTo(result,
                                        SHMergeMenu(popup.get(), info.hSubMenu, 0, idAdjust, idAdjustMax, flags));
            info.hSubMenu = popup.get();
            if (InsertMenuItemW(destination, insert, TRUE, &info)) {
                // The destination owns the popup from now on.
                static_cast<void>(popup.release());
                separatorFollows = false;
            }
            continue;
        }

        UINT shifted = 0;
        if (!ShiftMenuId(info.wID, idAdjust, idAdjustMax, &shifted)) {
            continue;
        }
        result = RaiseMergeResult(result, shifted);
        info.wID = shifted;
        if (InsertMenuItemW(destination, insert, TRUE, &info)) {
            separatorFollows = false;
        }
    }

    const bool aboveIsSeparator = insert != 0 && IsSeparatorAt(destination, insert - 1);
    switch (TidySeam(insert, aboveIsSeparator, separatorFollows, flags)) {
        case SeamAction::kDeleteAtInsert:
            DeleteMenu(destination, insert, MF_BYPOSITION);
            break;
        case SeamAction::kInsertSeparator:
            InsertMenuW(destination, insert, MF_BYPOSITION | MF_SEPARATOR, 0, nullptr);
            break;
        case SeamAction::kNone:
            break;
    }
    return result;
}
