// The menu helpers through the DLL's exports, on menus described as text:
// "text:id" per item, "-" a separator, a submenu in brackets, items joined by
// '|'. The merge rules in detail are in portable/menu_merge_rules_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "VantrelSh.h"
#include "base/unique_resource.h"

namespace {

using vtls::UniqueMenu;

// Builds a popup menu from a description (ids 0 for popup items mean none).
HMENU Build(const std::wstring& text, std::size_t* at = nullptr) {
    std::size_t local = 0;
    std::size_t& i = at != nullptr ? *at : local;
    HMENU menu = CreatePopupMenu();
    for (UINT position = 0; i < text.size() && text[i] != L']'; ++position) {
        const std::size_t end = std::min(text.find_first_of(L"|[]", i), text.size());
        const std::wstring item = text.substr(i, end - i);
        const bool separator = item == L"-";
        const std::wstring label = item.substr(0, item.rfind(L':'));
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | (separator ? 0 : MIIM_ID | MIIM_STRING);
        info.fType = separator ? MFT_SEPARATOR : MFT_STRING;
        info.wID = separator ? 0 : static_cast<UINT>(std::stoul(item.substr(item.rfind(L':') + 1)));
        info.dwTypeData = const_cast<wchar_t*>(label.c_str());
        i = end;
        if (i < text.size() && text[i] == L'[') {
            ++i;
            info.fMask |= MIIM_SUBMENU;
            info.hSubMenu = Build(text, &i);
            ++i;  // the ']'
        }
        EXPECT_TRUE(InsertMenuItemW(menu, position, TRUE, &info));
        if (i < text.size() && text[i] == L'|') ++i;
    }
    return menu;
}

std::string Describe(HMENU menu) {
    std::string out;
    for (int position = 0; position < GetMenuItemCount(menu); ++position) {
        wchar_t text[512] = {};
        MENUITEMINFOW info{};
        info.cbSize = sizeof(info);
        info.fMask = MIIM_FTYPE | MIIM_ID | MIIM_SUBMENU | MIIM_STRING;
        info.dwTypeData = text;
        info.cch = 512;
        out += position > 0 ? "|" : "";
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(position), TRUE, &info)) {
            out += "?";
        } else if ((info.fType & MFT_SEPARATOR) != 0) {
            out += "-";
        } else {
            out += std::string(text, text + wcslen(text)) + ":" + std::to_string(info.wID);
            if (info.hSubMenu != nullptr) out += "[" + Describe(info.hSubMenu) + "]";
        }
    }
    return out;
}

// One case per thing the Windows side does around the rules: the order of the
// items, a separator at the seam, collapsing runs of them, ids out of range,
// submenus with and without ids, nested, and long texts cut.
TEST(MenuMerge, MergesShiftedItemsAndTidiesTheSeams) {
    const std::wstring longText(200, L'w'), exact(127, L'e');
    const struct {
        std::wstring dst, src;
        UINT insert, flags, result;
        std::string merged;
    } cases[] = {
        {L"A:1|B:2", L"X:5|Y:9|-", 99, 0, 110, "A:1|B:2|X:105|Y:109"},  // past the end, no trailing separator
        {L"A:1|B:2|C:3", L"X:5", 1, SHMM_ADDSEPARATOR, 106, "A:1|-|X:105|-|B:2|C:3"},  // in the middle: one below
        {L"", L"X:1|-|-|Y:2", 0, 0, 103, "X:101|-|Y:102"},  // adjacent separators collapse
        {L"", L"X:900|Y:901|Z:3", 0, 0, 1001, "X:1000|Z:103"},  // id at max kept, one more left out
        // Submenus without ids get none (even one out of range) and their children shifted.
        {L"", L"A:1|P:950[-|Q:7|-|R:8|-]", 0, 0, 109, "A:101|P:0[Q:107|-|R:108]"},
        {L"", L"P:50[Q:7]|Big:950[S:3]", 0, SHMM_SUBMENUSHAVEIDS, 151, "P:150[Q:107]"},
        {L"", L"A:1|P:2[Deep:3[D:40]]", 0, 0, 141, "A:101|P:0[Deep:0[D:140]]"},
        {L"", longText + L":1|" + exact + L":2", 0, 0, 103,
         std::string(127, 'w') + ":101|" + std::string(127, 'e') + ":102"},
    };
    for (const auto& c : cases) {
        const UniqueMenu dst(Build(c.dst)), src(Build(c.src));
        const std::string source = Describe(src.get());
        EXPECT_EQ(SHMergeMenu(dst.get(), src.get(), c.insert, 100, 1000, c.flags), c.result) << c.merged;
        EXPECT_EQ(Describe(dst.get()), c.merged);
        EXPECT_EQ(Describe(src.get()), source) << "the source is only read";
    }
    const UniqueMenu src(Build(L"X:5"));
    EXPECT_EQ(SHMergeMenu(nullptr, src.get(), 0, 100, 1000, 0), 100u);
    EXPECT_EQ(SHMergeMenu(src.get(), nullptr, 0, 77, 1000, SHMM_ADDSEPARATOR), 77u);
    EXPECT_EQ(Describe(src.get()), "X:5");
}

TEST(MenuPretty, RunsOfSeparatorsKeepOneAndNoneAtTheEnds) {
    const std::pair<const wchar_t*, const char*> cases[] = {
        {L"-|-|-", ""}, {L"A:1|-|B:2", "A:1|-|B:2"}, {L"-|-|A:1|-|B:2|-|-|-|C:3|-|-", "A:1|-|B:2|-|C:3"}};
    for (const auto& [before, after] : cases) {
        const UniqueMenu menu(Build(before));
        SHPrettyMenu(menu.get());
        EXPECT_EQ(Describe(menu.get()), after);
    }
    SHPrettyMenu(nullptr);
}

TEST(MenuLookups, PositionsSeparatorsAndSubmenus) {
    const UniqueMenu menu(Build(L"A:1|-|B:2|C:2|P:4[Q:7|Deep:8[D:9]]"));
    // The first of a shared id, by its low 16 bits; submenus are not searched.
    const std::pair<UINT, int> positions[] = {{2, 2}, {0x70002, 2}, {1, 0}, {3, -1}, {7, -1}, {4, 4}};
    for (const auto& [id, position] : positions) {
        EXPECT_EQ(SHGetMenuPos(menu.get(), id), position) << id;
    }
    EXPECT_EQ(SHGetMenuPos(nullptr, 1), -1);
    const std::pair<UINT, BOOL> separators[] = {{0, FALSE}, {1, TRUE}, {4, FALSE}, {5, FALSE}};
    for (const auto& [position, separator] : separators) {
        EXPECT_EQ(SHIsMenuSeparator(menu.get(), position), separator) << position;
    }
    EXPECT_EQ(SHIsMenuSeparator(nullptr, 0), FALSE);
    const HMENU sub = GetSubMenu(menu.get(), 4);
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 4), sub);
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 0x10004), sub);
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 8), GetSubMenu(sub, 1));
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 1), nullptr);
    EXPECT_EQ(SHGetMenuFromID(menu.get(), 55), nullptr);
    EXPECT_EQ(SHGetMenuFromID(nullptr, 4), nullptr);
}

// Menu resources of this program (menu_test.rc).
TEST(MenuLoadSub, TakesTheSubmenuOutOfTheResourceAndItOutlivesTheRest) {
    const HMODULE self = GetModuleHandleW(nullptr);
    const UniqueMenu file(SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 0));
    const UniqueMenu edit(SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 2));
    const UniqueMenu named(SHLoadSubMenu(self, L"VTLSNAMEDMENU", 0));
    EXPECT_EQ(Describe(file.get()), "&Open:101|-|E&xit:102");
    EXPECT_EQ(Describe(edit.get()), "Copy:201|Paste:202");
    EXPECT_EQ(Describe(named.get()), "Named:401");
    EXPECT_EQ(SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 1), nullptr);
    EXPECT_EQ(SHLoadSubMenu(self, MAKEINTRESOURCEW(300), 7), nullptr);
    EXPECT_EQ(SHLoadSubMenu(self, MAKEINTRESOURCEW(999), 0), nullptr);
}

}  // namespace
