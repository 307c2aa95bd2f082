#include <gtest/gtest.h>

#include <cstdint>

#include "ui/portable/menu_merge_rules.h"

namespace {

using namespace vtls::ui;

TEST(MenuMergeRules, ShiftedIdAtMaxFitsOneMoreDoesNot) {
    std::uint32_t shifted = 0;
    EXPECT_TRUE(ShiftMenuId(900, 100, 1000, &shifted));
    EXPECT_EQ(shifted, 1000u);
    EXPECT_FALSE(ShiftMenuId(901, 100, 1000, &shifted));
    EXPECT_EQ(shifted, 1001u);
}

TEST(MenuMergeRules, ShiftWrapsAsUnsigned) {
    std::uint32_t shifted = 0;
    EXPECT_TRUE(ShiftMenuId(0xFFFFFFFFu, 2, 5, &shifted));
    EXPECT_EQ(shifted, 1u);
}

TEST(MenuMergeRules, ResultIsOneAboveHighestPlacedIdAtLeastStart) {
    std::uint32_t result = 100;
    result = RaiseMergeResult(result, 109);
    result = RaiseMergeResult(result, 105);
    EXPECT_EQ(result, 110u);
    EXPECT_EQ(RaiseMergeResult(100, 50), 100u);
    EXPECT_EQ(RaiseMergeResult(100, 100), 101u);
    EXPECT_EQ(RaiseMergeResultTo(110, 120), 120u);
    EXPECT_EQ(RaiseMergeResultTo(110, 105), 110u);
}

TEST(MenuMergeRules, InsertionPastEndAppends) {
    EXPECT_EQ(ClampInsertion(7, 3).position, 3u);
    EXPECT_TRUE(ClampInsertion(7, 3).atEnd);
    EXPECT_TRUE(ClampInsertion(3, 3).atEnd);
    EXPECT_EQ(ClampInsertion(2, 3).position, 2u);
    EXPECT_FALSE(ClampInsertion(2, 3).atEnd);
    EXPECT_TRUE(ClampInsertion(0, 0).atEnd);
}

TEST(MenuMergeRules, SeamAtTopNeverLeavesSeparator) {
    EXPECT_EQ(TidySeam(0, false, true, 0), SeamAction::kDeleteAtInsert);
    EXPECT_EQ(TidySeam(0, true, true, kMergeAddSeparator), SeamAction::kDeleteAtInsert);
    EXPECT_EQ(TidySeam(0, false, false, kMergeAddSeparator), SeamAction::kNone);
}

TEST(MenuMergeRules, SeamBelowSeparatorDropsDoubleSeparator) {
    EXPECT_EQ(TidySeam(2, true, true, 0), SeamAction::kDeleteAtInsert);
    EXPECT_EQ(TidySeam(2, true, false, kMergeAddSeparator), SeamAction::kNone);
}

TEST(MenuMergeRules, AddSeparatorOnlyWhenAskedAndNeeded) {
    EXPECT_EQ(TidySeam(2, false, false, kMergeAddSeparator), SeamAction::kInsertSeparator);
    EXPECT_EQ(TidySeam(2, false, false, kMergeSubmenusHaveIds), SeamAction::kNone);
    EXPECT_EQ(TidySeam(2, false, true, kMergeAddSeparator), SeamAction::kNone);
}

}  // namespace
