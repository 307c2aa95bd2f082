// Icon extraction with the process's shell icon settings set directly, and the
// group enumeration behind it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "VantrelSh.h"
#include "icons/extract_icon.h"
#include "icons/icon_inspection.h"
#include "icons/shell_icon_metrics.h"
#include "icons/under_wine.h"

namespace {

using namespace vtls::test;

// The two globals read at attach, set for one scope, then an extraction.
struct ExtractedWith {
    HICON large = nullptr, small = nullptr;
    HRESULT result;
    ExtractedWith(int size, BOOL highColour, int index) {
        const int oldSize = std::exchange(vtls::g_nShellIconSize, size);
        const BOOL oldColour = std::exchange(vtls::g_bHighColorIcons, highColour);
        result = SHExtractIcon(IconFixturePath().c_str(), index, &large, &small);
        vtls::g_nShellIconSize = oldSize;
        vtls::g_bHighColorIcons = oldColour;
    }
    ~ExtractedWith() {
        if (large != nullptr) DestroyIcon(large);
        if (small != nullptr) DestroyIcon(small);
    }
};

TEST(ExtractIconSizes, LargeIconIsChosenForAndMadeAtTheShellIconSize) {
    for (int size : {16, 32, 48, 24, 72}) {
        const ExtractedWith icons(size, TRUE, 1);
        ASSERT_EQ(icons.result, S_OK) << size;
        EXPECT_EQ(ShapeOf(icons.large).width, size);
        EXPECT_EQ(ShapeOf(icons.large).height, size);
        // Sizes without an image of their own are made from the nearest image.
        if (size % 16 == 0) {
            EXPECT_EQ(IdentifyImage(icons.large), (FixtureImage{kGroupAtIndex[1], size, 32}));
        }
        // The small icon does not follow the shell size.
        EXPECT_EQ(ShapeOf(icons.small).width, GetSystemMetrics(SM_CXSMICON));
        EXPECT_EQ(IdentifyImage(icons.small), (FixtureImage{kGroupAtIndex[1], 16, 32}));
    }
}

// LR_VGACOLOR is passed without high colour; Wine ignores it in both the choice
// of the image and the icon it makes, Windows takes the 4-bit image.
TEST(ExtractIconColour, FullColourUnlessTheShellAsksForTheSixteenColourPalette) {
    for (const BOOL high : {TRUE, FALSE}) {
        const int depth = high || RunningUnderWine() ? 32 : 4;
        const ExtractedWith icons(48, high, 0);
        ASSERT_EQ(icons.result, S_OK);
        EXPECT_EQ(IdentifyImage(icons.large), (FixtureImage{kGroupAtIndex[0], 48, depth}));
        EXPECT_EQ(IdentifyImage(icons.small), (FixtureImage{kGroupAtIndex[0], 16, depth}));
    }
}

// What the enumeration callback leaves in the pick for each index: string
// names come first (upper-cased by the resource compiler), integer ids after.
TEST(EnumIconGroupProc, PicksTheNameAtTheIndexAndNothingPastTheEnd) {
    const vtls::UniqueModule module(LoadLibraryExW(IconFixturePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE));
    ASSERT_TRUE(module);
    const auto pick = [&module](ULONG_PTR index) {
        auto result = std::make_unique<vtls::IconGroupPick>();
        result->slot = index;
        EnumResourceNamesW(module.get(), RT_GROUP_ICON, vtls::EnumIconGroupProc, reinterpret_cast<LONG_PTR>(result.get()));
        return result;
    };
    const auto first = pick(0);
    ASSERT_TRUE(first->picked && !IS_INTRESOURCE(first->Name()));
    EXPECT_EQ(std::wstring(first->Name()), L"FOLDERICON");
    EXPECT_EQ(first->Name(), first->nameCopy.get()) << "a string name is held as a copy";
    for (ULONG_PTR index : {1, 2}) {
        const auto later = pick(index);
        EXPECT_TRUE(later->picked);
        EXPECT_EQ(later->Name(), MAKEINTRESOURCEW(index));
        EXPECT_FALSE(later->nameCopy.valid()) << "an integer id needs no copy";
    }
    // Past the end: counted down once per group, nothing picked.
    const auto past = pick(5);
    EXPECT_FALSE(past->picked);
    EXPECT_EQ(past->slot, 2u);
    EXPECT_FALSE(pick(static_cast<ULONG_PTR>(-1))->picked);
}

}  // namespace
