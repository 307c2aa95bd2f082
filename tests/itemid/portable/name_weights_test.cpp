#include "itemid/portable/name_weights.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "base/portable/byte_order.h"
#include "mini_collation.h"

namespace vtls::itemid {
namespace {

using test::MiniCollation;

// A name as it lies in an item: the units little-endian, then the zero.
struct Name {
    explicit Name(const std::u16string& text) : units(text) {
        bytes.resize(2 * (text.size() + 1));
        for (std::size_t i = 0; i < text.size(); ++i) {
            StoreU16(bytes.data() + 2 * i, text[i]);
        }
    }
    NameView View() const { return NameView{bytes.data(), units.size(), true}; }
    std::u16string units;
    std::vector<std::uint8_t> bytes;
};

int Sign(int value) { return value < 0 ? -1 : (value > 0 ? 1 : 0); }

TEST(NameWeights, LearntFromAPerCharacterOrderDecideAsIt) {
    const MiniCollation order;
    const NameWeights weights = NameWeights::Learn(order);
    ASSERT_TRUE(weights.Usable());
    const auto decide = [&](const std::u16string& a, const std::u16string& b) {
        return weights.Compare(Name(a).View(), Name(b).View());
    };
    EXPECT_EQ(decide(u"Line3.Pump", u"Line3.Valve"), std::optional<int>(-1));
    EXPECT_EQ(decide(u"line9", u"LINE10"), std::optional<int>(1));  // digits one by one
    EXPECT_EQ(decide(u"Pump", u"Pump2"), std::optional<int>(-1));   // a prefix first
    EXPECT_EQ(decide(u"b", u"A9"), std::optional<int>(1));
    // Left to the platform: no difference of weight, a character not learnt
    // before the difference, or a mark right after it.
    EXPECT_EQ(decide(u"Pump", u"pump"), std::nullopt);
    EXPECT_EQ(decide(u"Pump", u"Pump"), std::nullopt);
    EXPECT_EQ(decide(u"a-b", u"ac"), std::nullopt);
    EXPECT_EQ(decide(u"Pump", u"Pump-"), std::nullopt);
    EXPECT_EQ(decide(u"a\u0308", u"b"), std::nullopt);  // 'a' with a diaeresis sorts after 'z' here
    EXPECT_EQ(decide(u"x\u00e9", u"xf"), std::nullopt);
    // ... but a difference well before them is decided.
    EXPECT_EQ(decide(u"ab-c", u"ac-b"), std::nullopt);  // the mark right after may not follow
    EXPECT_EQ(decide(u"abx-c", u"acx-b"), std::optional<int>(-1));
    EXPECT_EQ(decide(u"a\u0308", u"ab"), std::nullopt);
    EXPECT_EQ(decide(u"ba\u0308", u"ca"), std::optional<int>(-1));
}

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
    const auto caseFirst = [](const char16_t* a, const char16_t* b) {
        for (;; ++a, ++b) {
            if (*a != *b) return *a < *b ? -1 : 1;
            if (*a == 0) return 0;
        }
    };
    const NameWeights byCode = NameWeights::Learn(caseFirst);
    ASSERT_TRUE(byCode.Usable());
    EXPECT_EQ(byCode.Compare(Name(u"B").View(), Name(u"a").View()), std::optional<int>(-1));
    const auto caseLater = [](const char16_t* a, const char16_t* b) {
        const MiniCollation folded;
        const int primary = folded(a, b);
        if (primary != 0) return primary;
        for (;; ++a, ++b) {  // then case: upper first
            if (*a != *b) return *a < *b ? -1 : 1;
            if (*a == 0) return 0;
        }
    };
    EXPECT_FALSE(NameWeights::Learn(caseLater).Usable());
}

// The fast path against the order it was learnt from, on random names of
// learnt and other characters: whatever it decides, the order says too.
TEST(NameWeights, FastPathAgreesWithTheOrderOnRandomNames) {
    const MiniCollation order;
    const NameWeights weights = NameWeights::Learn(order);
    ASSERT_TRUE(weights.Usable());
    const std::u16string alphabet = u"aAbBcCzZ09. _-\u0308\u00e9";
    std::mt19937 random(7);
    int decided = 0;
    for (int n = 0; n < 20000; ++n) {
        std::u16string a;
        std::u16string b;
        const std::size_t common = random() % 4;
        for (std::size_t i = 0; i < common; ++i) {
            a += alphabet[random() % alphabet.size()];
        }
        b = a;
        for (std::size_t i = random() % 4; i > 0; --i) {
            a += alphabet[random() % alphabet.size()];
        }
        for (std::size_t i = random() % 4; i > 0; --i) {
            b += alphabet[random() % alphabet.size()];
        }
        const auto fast = weights.Compare(Name(a).View(), Name(b).View());
        if (fast) {
            ++decided;
            EXPECT_EQ(*fast, Sign(order(a.c_str(), b.c_str())))
                << std::string(a.begin(), a.end()) << " / " << std::string(b.begin(), b.end());
        }
    }
    EXPECT_GT(decided, 5000);  // the fast path is taken, not only refused
}

}  // namespace
}  // namespace vtls::itemid
