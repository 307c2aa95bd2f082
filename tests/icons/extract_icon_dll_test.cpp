// Icons from the icon groups of the fixture DLL (three groups: "FolderIcon", 1
// and 2, each with images of 16, 32 and 48 pixels in 4-bit and 32-bit colour).
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "VantrelSh.h"
#include "icons/icon_inspection.h"
#include "icons/under_wine.h"
#include "support/registry_scratch.h"

namespace {

using namespace vtls::test;

const auto kUntouched = reinterpret_cast<HICON>(0x1234);

// Icons handed out by one call, destroyed with it.
struct Extracted {
    HICON large = kUntouched, small = kUntouched;
    HRESULT result;
    Extracted(const std::wstring& path, int index, bool wantLarge = true, bool wantSmall = true)
        : result(SHExtractIcon(path.c_str(), index, wantLarge ? &large : nullptr, wantSmall ? &small : nullptr)) {}
    ~Extracted() {
        for (HICON icon : {large, small}) {
            if (icon != nullptr && icon != kUntouched) DestroyIcon(icon);
        }
    }
};

TEST(ExtractIcon, IndexCountsGroupsInEnumerationOrder) {
    // Wine picks the 32-bit image whatever the colour flag asks for (it ignores
    // LR_VGACOLOR); Windows honours the 16-colour palette.
    const int depth = SHUseHighColorIcons() || RunningUnderWine() ? 32 : 4;
    // The shell icon size read at load; no setting is stored in the test prefix.
    const int largeSize = SHGetSystemMetrics(SM_CXICON);
    ASSERT_TRUE(largeSize == 16 || largeSize == 32 || largeSize == 48) << "the fixture has no image of that size";
    for (int index = 0; index < 3; ++index) {
        const Extracted icons(IconFixturePath(), index);
        ASSERT_EQ(icons.result, S_OK) << index;
        EXPECT_EQ(ShapeOf(icons.large).height, largeSize);
        EXPECT_EQ(ShapeOf(icons.small).height, GetSystemMetrics(SM_CYSMICON));
        EXPECT_EQ(IdentifyImage(icons.large), (FixtureImage{kGroupAtIndex[index], largeSize, depth}));
        EXPECT_EQ(IdentifyImage(icons.small), (FixtureImage{kGroupAtIndex[index], 16, depth}));
    }
    // Either out-pointer may be null; with neither, only whether the group exists.
    const Extracted smallOnly(IconFixturePath(), 1, false, true), largeOnly(IconFixturePath(), 2, true, false);
    EXPECT_EQ(IdentifyImage(smallOnly.small), (FixtureImage{kGroupAtIndex[1], 16, depth}));
    EXPECT_EQ(IdentifyImage(largeOnly.large), (FixtureImage{kGroupAtIndex[2], largeSize, depth}));
    EXPECT_EQ(SHExtractIcon(IconFixturePath().c_str(), 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(SHExtractIcon(IconFixturePath().c_str(), 3, nullptr, nullptr), E_FAIL);
}

// Past the last group the countdown does not reach zero; an index 3 beyond
// names integer id 1 if the countdown were taken for a name, and a negative one
// a wild pointer. Files that are no module or have no icons fail too.
TEST(ExtractIcon, WhatNamesNoGroupFailsWithNullIcons) {
    const std::wstring folder = ProgramFolder();
    const std::pair<std::wstring, int> cases[] = {{IconFixturePath(), 3}, {IconFixturePath(), 6}, {IconFixturePath(), -1},
        {IconFixturePath(), INT_MIN}, {folder + L"\\no-such-module.dll", 0}, {folder + L"\\VantrelUi.dll", 0}};
    for (const auto& [path, index] : cases) {
        const Extracted icons(path, index);
        EXPECT_TRUE(icons.result == E_FAIL && icons.large == nullptr && icons.small == nullptr) << index;
    }
    EXPECT_EQ(SHExtractIcon(nullptr, 0, nullptr, nullptr), E_FAIL);
}

// The large size and colour depth are read when the library is loaded: a fresh
// process shows the setting stored before it started.
TEST(ExtractIconAtAttach, LargeIconHasTheShellIconSizeReadAtLoad) {
    const SavedKey setting(L"Control Panel\\Desktop\\WindowMetrics");
    const auto run = [] {
        const auto child = RunChild(L"vtls_probe.exe", L"extract-icon \"" + IconFixturePath() + L"\" 1");
        return child && child->exitCode == 0 ? ParseReport(child->output)["large"] : "probe failed";
    };
    const std::string depth = RunningUnderWine() ? "32" : "4";
    const struct {
        const wchar_t *size, *bpp;
        std::string large;
    } cases[] = {{L"48", L"32", "48 48 group 0 image 48 depth 32"},
                 {L"16", L"4", "16 16 group 0 image 16 depth " + depth},
                 // No image of that size: made from the nearest.
                 {L"72", L"32", "72 72 group 0 image 48 depth 32"}};
    for (const auto& c : cases) {
        setting.SetText(L"Shell Icon Size", c.size);
        setting.SetText(L"Shell Icon BPP", c.bpp);
        EXPECT_EQ(run(), c.large);
    }
}

}  // namespace
