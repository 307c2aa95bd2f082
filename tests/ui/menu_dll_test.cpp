#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VantrelSh.h"
#include "base/unique_resource.h"

namespace {

using vtls::UniqueMenu;

// One item of a test menu: a separator when text is null; a popup item when
// sub is set (ownership passes to the menu).
struct Item {
    const wchar_t* text;
    UINT id;
    HMENU sub;
};
Item Sep() { return {nullptr, 0, nullptr}; }
Item Cmd(const wchar_t* text, UINT id) { return {text, id, nullptr}; }
Item Pop(const wchar_t* text, UINT id, HMENU sub) { return {text, id, sub}; }

HMENU Build(std::initializer_list<Item> items) {
    HMENU menu = CreatePopupMenu();
    UINT position = 0;
    for (const Item& item : items) {
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        if (item.text == nullptr) {
            info.fMask = MIIM_FTYPE;
            info.fType = MFT_SEPARATOR;
        } else {
            info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE | (item.sub != nullptr ? MIIM_SUBMENU : 0);
            info.fType = MFT_STRING;
            info.wID = item.id;
            info.hSubMenu = item.sub;
            info.dwTypeData = const_cast<wchar_t*>(item.text);
        }
        EXPECT_TRUE(InsertMenuItemW(menu, position++, TRUE, &info));
    }
    return menu;
}

// "text:id" per item, "-" for a separator, a submenu in brackets, items
// joined by '|'.
std::wstring Describe(HMENU menu) {
    std::wstring out;
    const int count = GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        wchar_t text[512] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 512;
        if (position > 0) {
            out += L'|';
        }
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) {
            out += L"?";
            continue;
        }
        if ((info.fType & MFT_SEPARATOR) != 0) {
            out += L'-';
            continue;
        }
        out += text;
        out += L':';
        out += std::to_wstring(info.wID);
        if (info.hSubMenu != nullptr) {
            out += L'[' + Describe(info.hSubMenu) + L']';
        }
    }
    return out;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

HMENU SubAt(HMENU menu, int position) { return GetSubMenu(menu, position); }

// ---- SHMergeMenu ----------------------------------------------------------------

TEST(MenuMerge, NullMenusDoNothingAndReturnAdjust) {
    UniqueMenu dst(Build({Cmd(L"A", 1)}));
    UniqueMenu src(Build({Cmd(L"X", 5)}));
    EXPECT_EQ(SHMergeMenu(nullptr, src.get(), 0, 100, 1000, 0), 100u);
    EXPECT_EQ(SHMergeMenu(dst.get(), nullptr, 0, 77, 1000, SHMM_ADDSEPARATOR), 77u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:1");
    EXPECT_EQ(Narrow(Describe(src.get())), "X:5");
}

TEST(MenuMerge, PastEndAppendsWithoutTrailingSeparator) {
    UniqueMenu dst(Build({Cmd(L"A", 1), Cmd(L"B", 2)}));
    UniqueMenu src(Build({Cmd(L"X", 5), Cmd(L"Y", 9), Sep()}));
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 99, 100, 1000, 0), 110u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:1|B:2|X:105|Y:109");
    // The source is only read.
    EXPECT_EQ(Narrow(Describe(src.get())), "X:5|Y:9|-");
}

TEST(MenuMerge, AddSeparatorPutsOneAboveMergedItems) {
    UniqueMenu dst(Build({Cmd(L"A", 1), Cmd(L"B", 2)}));
    UniqueMenu src(Build({Cmd(L"X", 5), Cmd(L"Y", 9)}));
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 2, 100, 1000, SHMM_ADDSEPARATOR), 110u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:1|B:2|-|X:105|Y:109");
}

TEST(MenuMerge, AddSeparatorNotDoubledWhenFirstMergedItemIsOne) {
    UniqueMenu dst(Build({Cmd(L"A", 1), Cmd(L"B", 2)}));
    UniqueMenu src(Build({Sep(), Cmd(L"X", 5)}));
    SHMergeMenu(dst.get(), src.get(), 2, 100, 1000, SHMM_ADDSEPARATOR);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:1|B:2|-|X:105");
}

TEST(MenuMerge, MiddleInsertionPutsSeparatorBelowMergedItems) {
    UniqueMenu plain(Build({Cmd(L"A", 1), Cmd(L"B", 2), Cmd(L"C", 3)}));
    UniqueMenu src(Build({Cmd(L"X", 5)}));
    EXPECT_EQ(SHMergeMenu(plain.get(), src.get(), 1, 100, 1000, 0), 106u);
    EXPECT_EQ(Narrow(Describe(plain.get())), "A:1|X:105|-|B:2|C:3");

    UniqueMenu flagged(Build({Cmd(L"A", 1), Cmd(L"B", 2), Cmd(L"C", 3)}));
    SHMergeMenu(flagged.get(), src.get(), 1, 100, 1000, SHMM_ADDSEPARATOR);
    EXPECT_EQ(Narrow(Describe(flagged.get())), "A:1|-|X:105|-|B:2|C:3");
}

TEST(MenuMerge, ExistingSeparatorAtInsertionPointIsReused) {
    UniqueMenu dst(Build({Cmd(L"A", 1), Sep(), Cmd(L"B", 2)}));
    UniqueMenu src(Build({Cmd(L"X", 5), Sep()}));
    SHMergeMenu(dst.get(), src.get(), 1, 100, 1000, 0);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:1|X:105|-|B:2");
}

TEST(MenuMerge, NoDoubleSeparatorBelowSeparatorAbove) {
    UniqueMenu dst(Build({Cmd(L"A", 1), Sep(), Cmd(L"B", 2)}));
    UniqueMenu src(Build({Sep(), Cmd(L"X", 5)}));
    SHMergeMenu(dst.get(), src.get(), 2, 100, 1000, SHMM_ADDSEPARATOR);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:1|-|X:105|-|B:2");
}

TEST(MenuMerge, AtTopNeverLeavesSeparatorFirst) {
    UniqueMenu dst(Build({Cmd(L"A", 1), Cmd(L"B", 2)}));
    UniqueMenu src(Build({Sep(), Cmd(L"X", 5), Sep()}));
    SHMergeMenu(dst.get(), src.get(), 0, 100, 1000, SHMM_ADDSEPARATOR);
    EXPECT_EQ(Narrow(Describe(dst.get())), "X:105|-|A:1|B:2");

    UniqueMenu onlySeps(Build({Sep(), Sep()}));
    UniqueMenu dst2(Build({Cmd(L"A", 1), Cmd(L"B", 2)}));
    EXPECT_EQ(SHMergeMenu(dst2.get(), onlySeps.get(), 0, 100, 1000, 0), 100u);
    EXPECT_EQ(Narrow(Describe(dst2.get())), "A:1|B:2");
}

TEST(MenuMerge, OnlySeparatorsInMiddleAddOnlyTheSeamSeparator) {
    UniqueMenu dst(Build({Cmd(L"A", 1), Cmd(L"B", 2), Cmd(L"C", 3)}));
    UniqueMenu src(Build({Sep(), Sep(), Sep()}));
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 1, 100, 1000, SHMM_ADDSEPARATOR), 100u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:1|-|B:2|C:3");
}

TEST(MenuMerge, AdjacentSourceSeparatorsCollapse) {
    UniqueMenu dst(Build({}));
    UniqueMenu src(Build({Cmd(L"X", 1), Sep(), Sep(), Cmd(L"Y", 2)}));
    SHMergeMenu(dst.get(), src.get(), 0, 10, 1000, 0);
    EXPECT_EQ(Narrow(Describe(dst.get())), "X:11|-|Y:12");
}

TEST(MenuMerge, IdAtMaxIsCopiedOneMoreIsLeftOut) {
    UniqueMenu dst(Build({}));
    UniqueMenu src(Build({Cmd(L"X", 900), Cmd(L"Y", 901), Cmd(L"Z", 3)}));
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 0, 100, 1000, 0), 1001u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "X:1000|Z:103");
}

TEST(MenuMerge, ResultIsAtLeastAdjustWhenNothingFits) {
    UniqueMenu dst(Build({Cmd(L"A", 1)}));
    UniqueMenu src(Build({Cmd(L"X", 950), Cmd(L"Y", 960)}));
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 5, 100, 1000, 0), 100u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:1");
}

TEST(MenuMerge, ResultOrderIndependentOfItemOrder) {
    UniqueMenu dst(Build({}));
    UniqueMenu src(Build({Cmd(L"Y", 9), Cmd(L"X", 5)}));
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 0, 100, 1000, 0), 110u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "Y:109|X:105");
}

TEST(MenuMerge, SubmenusWithoutIdsAreCopiedWithShiftedChildren) {
    HMENU srcSub = Build({Sep(), Cmd(L"Q", 7), Sep(), Cmd(L"R", 8), Sep()});
    UniqueMenu src(Build({Cmd(L"A", 1), Pop(L"P", 950, srcSub)}));
    UniqueMenu dst(Build({}));
    // The popup's own id would be out of range, but without the flag it has none.
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 0, 100, 1000, 0), 109u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:101|P:0[Q:107|-|R:108]");
    // A new popup, not the source's.
    EXPECT_NE(SubAt(dst.get(), 1), srcSub);
    EXPECT_EQ(Narrow(Describe(src.get())), "A:1|P:950[-|Q:7|-|R:8|-]");
}

TEST(MenuMerge, SubmenusWithIdsAreShiftedAndRangeChecked) {
    UniqueMenu src(Build({Pop(L"P", 50, Build({Cmd(L"Q", 7)})), Pop(L"Big", 950, Build({Cmd(L"S", 3)}))}));
    UniqueMenu dst(Build({}));
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 0, 100, 1000, SHMM_SUBMENUSHAVEIDS), 151u);
    // "Big" shifts to 1050 and is left out with its whole submenu.
    EXPECT_EQ(Narrow(Describe(dst.get())), "P:150[Q:107]");
}

TEST(MenuMerge, NestedResultRaisesResult) {
    UniqueMenu src(Build({Cmd(L"A", 1), Pop(L"P", 2, Build({Pop(L"Deep", 3, Build({Cmd(L"D", 40)}))}))}));
    UniqueMenu dst(Build({}));
    EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), 0, 100, 1000, 0), 141u);
    EXPECT_EQ(Narrow(Describe(dst.get())), "A:101|P:0[Deep:0[D:140]]");
}

TEST(MenuMerge, LongTextsAreCutTo127Characters) {
    const std::wstring longText(200, L'w');
    const std::wstring exact(127, L'e');
    UniqueMenu src(Build({Cmd(longText.c_str(), 1), Cmd(exact.c_str(), 2)}));
    UniqueMenu dst(Build({}));
    SHMergeMenu(dst.get(), src.get(), 0, 0, 1000, 0);
    EXPECT_EQ(Narrow(Describe(dst.get())), std::string(127, 'w') + ":1|" + std::string(127, 'e') + ":2");
}

TEST(MenuMerge, StateAndItemDataAreCopied) {
    UniqueMenu src(Build({Cmd(L"X", 5)}));
    MENUITEMINFOW set{};
    set.cbSize = sizeof(set);
    set.fMask = MIIM_STATE | MIIM_DATA;
    set.fState = MFS_CHECKED | MFS_DISABLED;
    set.dwItemData = 0x1234;
    ASSERT_TRUE(SetMenuItemInfoW(src.get(), 0, TRUE, &set));
    UniqueMenu dst(Build({}));
    SHMergeMenu(dst.get(), src.get(), 0, 100, 1000, 0);
    MENUITEMINFOW got{};
    got.cbSize = sizeof(got);
    got.fMask = MIIM_STATE | MIIM_DATA | MIIM_ID;
    ASSERT_TRUE(GetMenuItemInfoW(dst.get(), 0, TRUE, &got));
    EXPECT_EQ(got.wID, 105u);
    EXPECT_EQ(got.dwItemData, 0x1234u);
    EXPECT_NE(got.fState & MFS_CHECKED, 0u);
    EXPECT_NE(got.fState & MFS_DISABLED, 0u);
}

// ---- SHPrettyMenu -----------------------------------------------------------------

TEST(MenuPretty, RunOfSeparatorsKeepsOne) {
    UniqueMenu menu(Build({Cmd(L"A", 1), Sep(), Sep(), Cmd(L"B", 2)}));
    SHPrettyMenu(menu.get());
    EXPECT_EQ(Narrow(Describe(menu.get())), "A:1|-|B:2");
}

TEST(MenuPretty, OnlySeparatorsLeavesEmptyMenu) {
    UniqueMenu menu(Build({Sep(), Sep(), Sep()}));
    SHPrettyMenu(menu.get());
    EXPECT_EQ(GetMenuItemCount(menu.get()), 0);
    UniqueMenu single(Build({Sep()}));
    SHPrettyMenu(single.get());
    EXPECT_EQ(GetMenuItemCount(single.get()), 0);
}

TEST(MenuPretty, TopBottomAndRunsTidied) {
    UniqueMenu menu(Build({Sep(), Sep(), Cmd(L"A", 1), Sep(), Cmd(L"B", 2), Sep(), Sep(), Sep(), Cmd(L"C", 3),
                           Sep(), Sep()}));
    SHPrettyMenu(menu.get());
    EXPECT_EQ(Narrow(Describe(menu.get())), "A:1|-|B:2|-|C:3");
}

TEST(MenuPretty, TidyMenuUnchangedAndEmptyOrNullHarmless) {
    UniqueMenu menu(Build({Cmd(L"A", 1), Sep(), Cmd(L"B", 2)}));
    SHPrettyMenu(menu.get());
    EXPECT_EQ(Narrow(Describe(menu.get())), "A:1|-|B:2");
    UniqueMenu empty(Build({}));
    SHPrettyMenu(empty.get());
    EXPECT_EQ(GetMenuItemCount(empty.get()), 0);
    SHPrettyMenu(nullptr);
}

// ---- Positions, separators and submenu lookups ------------------------------------

TEST(MenuPos, FirstOfSharedIdAndLow16Bits) {
    UniqueMenu menu(Build({Cmd(L"A", 1), Sep(), Cmd(L"B", 2), Cmd(L"C", 2)}));
    EXPECT_EQ(SHGetMenuPos(menu.get(), 2), 2);
    EXPECT_EQ(SHGetMenuPos(menu.get(), 0x70002), 2);
    EXPECT_EQ(SHGetMenuPos(menu.get(), 1), 0);
    EXPECT_EQ(SHGetMenuPos(menu.get(), 3), -1);
}

TEST(MenuPos, SubmenusNotSearchedEmptyAndNullGiveMinusOne) {
    UniqueMenu menu(Build({Cmd(L"A", 1), Pop(L"P", 4, Build({Cmd(L"Q", 7)}))}));
    EXPECT_EQ(SHGetMenuPos(menu.get(), 7), -1);
    EXPECT_EQ(SHGetMenuPos(menu.get(), 4), 1);
    UniqueMenu empty(Build({}));
    EXPECT_EQ(SHGetMenuPos(empty.get(), 0), -1);
    EXPECT_EQ(SHGetMenuPos(nullptr, 1), -1);
}

TEST(MenuSeparator, ByPosition) {
    UniqueMenu menu(Build({Cmd(L"A", 1), Sep(), Pop(L"P", 4, Build({Cmd(L"Q", 7)}))}));
    EXPECT_EQ(SHIsMenuSeparator(menu.get(), 0), FALSE);
    EXPECT_EQ(SHIsMenuSeparator(menu.get(), 1), TRUE);
    EXPECT_EQ(SHIsMenuSeparator(menu.get(), 2), FALSE);
    EXPECT_EQ(SHIsMenuSeparator(menu.get(), 3), FALSE);
    EXPECT_EQ(SHIsMenuSeparator(nullptr, 0), FALSE);
}

TEST(MenuFromId, FindsSubmenuByCommand) {
    HMENU deep = Build({Cmd(L"D", 9)});
    HMENU sub = Build({Cmd(L"Q", 7), Pop(L"Deep", 8, deep)});
    UniqueMenu menu(Build({Cmd(L"A", 1), Pop(L"P", 4, sub)}));
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 4), sub);
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 0x10004), sub);
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 8), deep);
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 1), nullptr);
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 55), nullptr);
    EXPECT_EQ(SHGetMenuFromID(nullptr, 4), nullptr);
}

// ---- SHLoadSubMenu ------------------------------------------------------------------

TEST(MenuLoadSub, TakesSubmenuFromResource) {
    HMODULE self = GetModuleHandleW(nullptr);
    UniqueMenu file(SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 0));
    ASSERT_TRUE(file);
    EXPECT_EQ(Narrow(Describe(file.get())), "&Open:101|-|E&xit:102");
    UniqueMenu edit(SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 2));
    ASSERT_TRUE(edit);
    EXPECT_EQ(Narrow(Describe(edit.get())), "Copy:201|Paste:202");
    UniqueMenu named(SHLoadSubMenu(self, L"VTLSNAMEDMENU", 0));
    ASSERT_TRUE(named);
    EXPECT_EQ(Narrow(Describe(named.get())), "Named:401");
}

TEST(MenuLoadSub, NoSubmenuOrNoResourceGivesNull) {
    HMODULE self = GetModuleHandleW(nullptr);
    EXPECT_EQ(SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 1), nullptr);
    EXPECT_EQ(SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 7), nullptr);
    EXPECT_EQ(SHLoadSubMenu(self, MAKEINTRESOURCEW(999), 0), nullptr);
}

TEST(MenuLoadSub, ReturnedSubmenuOutlivesTheRest) {
    HMODULE self = GetModuleHandleW(nullptr);
    HMENU sub = SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 0);
    ASSERT_NE(sub, nullptr);
    EXPECT_TRUE(IsMenu(sub));
    EXPECT_EQ(GetMenuItemCount(sub), 3);
    EXPECT_TRUE(DestroyMenu(sub));
}

}  // namespace
