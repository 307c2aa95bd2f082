// Icon extraction with the process's shell icon settings set directly, and the
// group enumeration behind it.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "VantrelSh.h"
#include "icons/shell_icon_metrics.h"
#include "icons/extract_icon.h"
#include "icons/icon_inspection.h"
#include "icons/under_wine.h"

namespace {

using vtls::test::FixtureImage;
using vtls::test::IconFixturePath;
using vtls::test::IdentifyImage;
using vtls::test::kGroupAtIndex;
using vtls::test::ShapeOf;

// Sets the two globals read at attach for one test and puts them back.
class ShellIconGlobals {
public:
    ShellIconGlobals(int size, BOOL highColour)
        : size_(vtls::g_nShellIconSize), highColour_(vtls::g_bHighColorIcons) {
        vtls::g_nShellIconSize = size;
        vtls::g_bHighColorIcons = highColour;
    }
    ~ShellIconGlobals() {
        vtls::g_nShellIconSize = size_;
        vtls::g_bHighColorIcons = highColour_;
    }
    ShellIconGlobals(const ShellIconGlobals&) = delete;
    ShellIconGlobals& operator=(const ShellIconGlobals&) = delete;

private:
    int size_;
    BOOL highColour_;
};

struct IconPair {
    HRESULT result;
    HICON large = nullptr;
    HICON small = nullptr;
    explicit IconPair(int index) { result = SHExtractIcon(IconFixturePath().c_str(), index, &large, &small); }
    ~IconPair() {
        if (large != nullptr) DestroyIcon(large);
        if (small != nullptr) DestroyIcon(small);
    }
};

TEST(ExtractIconSizes, LargeIconIsChosenForAndMadeAtTheShellIconSize) {
    const int smallWidth = GetSystemMetrics(SM_CXSMICON);
    for (int size : {16, 32, 48}) {
        const ShellIconGlobals globals(size, TRUE);
        const IconPair icons(1);
        ASSERT_EQ(icons.result, S_OK) << size;
        EXPECT_EQ(ShapeOf(icons.large).width, size);
        EXPECT_EQ(ShapeOf(icons.large).height, size);
        EXPECT_EQ(IdentifyImage(icons.large), (FixtureImage{kGroupAtIndex[1], size, 32}));
        // The small icon does not follow the shell size.
        EXPECT_EQ(ShapeOf(icons.small).width, smallWidth);
        EXPECT_EQ(IdentifyImage(icons.small), (FixtureImage{kGroupAtIndex[1], 16, 32}));
    }
    // Sizes without an image of their own: made at the shell size from the
    // nearest image.
    for (int size : {24, 72}) {
        const ShellIconGlobals globals(size, TRUE);
        const IconPair icons(2);
        ASSERT_EQ(icons.result, S_OK) << size;
        EXPECT_EQ(ShapeOf(icons.large).width, size);
        EXPECT_EQ(ShapeOf(icons.large).height, size);
    }
}

TEST(ExtractIconColour, FullColourUnlessTheShellAsksForTheSixteenColourPalette) {
    {
        const ShellIconGlobals globals(48, TRUE);
        const IconPair icons(0);
        ASSERT_EQ(icons.result, S_OK);
        EXPECT_EQ(IdentifyImage(icons.large), (FixtureImage{kGroupAtIndex[0], 48, 32}));
        EXPECT_EQ(IdentifyImage(icons.small), (FixtureImage{kGroupAtIndex[0], 16, 32}));
    }
    {
        // LR_VGACOLOR is passed; Wine ignores it in both the choice of the
        // image and the icon it makes, Windows takes the 4-bit image.
        const ShellIconGlobals globals(48, FALSE);
        const IconPair icons(0);
        ASSERT_EQ(icons.result, S_OK);
        const int depth = vtls::test::RunningUnderWine() ? 32 : 4;
        EXPECT_EQ(IdentifyImage(icons.large), (FixtureImage{kGroupAtIndex[0], 48, depth}));
        EXPECT_EQ(IdentifyImage(icons.small), (FixtureImage{kGroupAtIndex[0], 16, depth}));
        EXPECT_EQ(ShapeOf(icons.large).width, 48);
    }
}

// What the enumeration callback leaves in the pick for each index: string
// names come first (upper-cased by the resource compiler), integer ids after.
TEST(EnumIconGroupProc, PicksTheNameAtTheIndexAndNothingPastTheEnd) {
    const HMODULE module = LoadLibraryExW(IconFixturePath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr);
    const auto pick = [module](ULONG_PTR index) {
        auto result = std::make_unique<vtls::IconGroupPick>();
        result->slot = index;
        EnumResourceNamesW(module, RT_GROUP_ICON, vtls::EnumIconGroupProc, reinterpret_cast<LONG_PTR>(result.get()));
        return result;
    };
    const auto first = pick(0);
    ASSERT_TRUE(first->picked);
    ASSERT_FALSE(IS_INTRESOURCE(first->Name()));
    EXPECT_EQ(std::wstring(first->Name()), L"FOLDERICON");
    EXPECT_EQ(first->Name(), first->nameCopy.get()) << "a string name is held as a copy";

    const auto second = pick(1);
    ASSERT_TRUE(second->picked);
    EXPECT_EQ(second->Name(), MAKEINTRESOURCEW(1));
    EXPECT_FALSE(second->nameCopy.valid()) << "an integer id needs no copy";
    const auto third = pick(2);
    ASSERT_TRUE(third->picked);
    EXPECT_EQ(third->Name(), MAKEINTRESOURCEW(2));

    // Past the end: counted down once per group, nothing picked.
    const auto past = pick(5);
    EXPECT_FALSE(past->picked);
    EXPECT_EQ(past->slot, 2u);
    EXPECT_FALSE(pick(static_cast<ULONG_PTR>(-1))->picked);
    FreeLibrary(module);
}

}  // namespace
