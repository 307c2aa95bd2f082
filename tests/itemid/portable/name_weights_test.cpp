// The learnt name order. The compare fuzzer checks its answers against the order
// it was learnt from, the DLL's tests against lstrcmpiW; here the orders it must
// refuse to learn, where the platform's order is not a per-character one.
#include "itemid/portable/name_weights.h"

#include <gtest/gtest.h>

#include "mini_collation.h"

namespace vtls::itemid {
namespace {

using test::MiniCollation;

TEST(NameWeights, OrdersThatJoinLettersOrIgnoreACandidateAreNotLearnt) {
    MiniCollation joining;
    joining.joinCh = true;
    EXPECT_FALSE(NameWeights::Learn(joining).Usable());
    MiniCollation ignoring;
    ignoring.ignoreDot = true;
    EXPECT_FALSE(NameWeights::Learn(ignoring).Usable());
    // An order in which case counts at the first level: 'A' and 'a' weigh apart,
    // which the learnt weights then say; one where they differ only at a finer
    // level is refused.
    const auto byCode = [](const char16_t* a, const char16_t* b) {
        for (;; ++a, ++b) {
            if (*a != *b) return *a < *b ? -1 : 1;
            if (*a == 0) return 0;
        }
    };
    const NameWeights caseFirst = NameWeights::Learn(byCode);
    ASSERT_TRUE(caseFirst.Usable());
    const std::uint8_t upperB[] = {'B', 0, 0, 0}, lowerA[] = {'a', 0, 0, 0};
    EXPECT_EQ(caseFirst.Compare(NameView{upperB, 1, true}, NameView{lowerA, 1, true}), std::optional<int>(-1));
    const auto caseLater = [&byCode](const char16_t* a, const char16_t* b) {
        const int primary = MiniCollation{}(a, b);
        return primary != 0 ? primary : byCode(a, b);
    };
    EXPECT_FALSE(NameWeights::Learn(caseLater).Usable());
}

TEST(NameWeights, AHyphenIsPassedOverOnlyWhereTheOrderLeavesItAlone) {
    const std::uint8_t one[] = {'A', 0, '-', 0, '1', 0, 0, 0}, two[] = {'A', 0, '-', 0, '2', 0, 0, 0};
    const NameView left{one, 3, true}, right{two, 3, true};
    EXPECT_EQ(NameWeights::Learn(MiniCollation{}).Compare(left, right), std::optional<int>(-1));
    MiniCollation turning;
    turning.hyphenTurnsDigits = true;
    const NameWeights weights = NameWeights::Learn(turning);
    ASSERT_TRUE(weights.Usable());
    EXPECT_EQ(weights.Compare(left, right), std::nullopt);
    EXPECT_EQ(turning(u"A-1", u"A-2"), 1);
}

}  // namespace
}  // namespace vtls::itemid
