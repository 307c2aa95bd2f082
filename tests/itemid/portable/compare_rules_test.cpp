#include "itemid/portable/compare_rules.h"

#include <gtest/gtest.h>

#include <cwctype>

#include "list_bytes.h"

namespace vtls::itemid {
namespace {

using test::Bytes;
using test::EncodePlaceholder;
using test::EncodeReal;
using test::List;

// Case-insensitive order on UTF-16 code units, enough for the ASCII names here.
// Records whether it was handed an unterminated name.
bool g_sawUnterminated = false;
int FoldCompare(const NameView& a, const NameView& b) noexcept {
    g_sawUnterminated |= !a.terminated || !b.terminated;
    for (std::size_t i = 0;; ++i) {
        const auto at = [](const NameView& n, std::size_t k) -> std::uint32_t {
            return k < n.length ? std::towlower(LoadU16(n.chars + 2 * k)) : 0;
        };
        const std::uint32_t ca = at(a, i);
        const std::uint32_t cb = at(b, i);
        if (ca != cb) return ca < cb ? -1 : 1;
        if (ca == 0) return 0;
    }
}

result::Code Compare(const Bytes& a, const Bytes& b) {
    const auto readableA = [&](std::size_t n) { return n <= a.size(); };
    const auto readableB = [&](std::size_t n) { return n <= b.size(); };
    EXPECT_TRUE(ComparableListSize(a.data(), readableA).has_value());
    EXPECT_TRUE(ComparableListSize(b.data(), readableB).has_value());
    return CompareValidLists(a.data(), b.data(), FoldCompare);
}

struct OrderCase {
    const char* what;
    Bytes a, b;
    result::Code expected;
};

class CompareValidListsTest : public ::testing::TestWithParam<OrderCase> {};

TEST_P(CompareValidListsTest, OrdersAsTheNamespaceDoes) {
    const OrderCase& c = GetParam();
    EXPECT_EQ(Compare(c.a, c.b), c.expected) << c.what;
    // The order is antisymmetric: swapping the lists swaps the answer.
    const result::Code swapped = c.expected == kSortsBefore ? kSortsAfter
                                 : c.expected == kSortsAfter ? kSortsBefore
                                                             : kSortsEqual;
    EXPECT_EQ(Compare(c.b, c.a), swapped) << c.what << " (swapped)";
    // Answering names with the same code units without asking changes nothing.
    EXPECT_EQ(CompareValidLists(c.a.data(), c.b.data(), FoldCompare, SameNames::kAskAlways), c.expected) << c.what;
    EXPECT_EQ(CompareValidLists(c.b.data(), c.a.data(), FoldCompare, SameNames::kAskAlways), swapped) << c.what;
}

const Bytes kAlpha = EncodeReal(5, u"Alpha");
const Bytes kAlphaLower = EncodeReal(5, u"alpha");
const Bytes kBeta = EncodeReal(5, u"Beta");

INSTANTIATE_TEST_SUITE_P(
    Cases, CompareValidListsTest,
    ::testing::Values(
        OrderCase{"depth before content", List({kBeta}), List({kAlpha, kAlpha}), kSortsBefore},
        OrderCase{"wait after real", List({EncodePlaceholder(0, 0)}), List({kAlpha}), kSortsAfter},
        OrderCase{"error before wait", List({EncodePlaceholder(1, 5)}), List({EncodePlaceholder(0, 0)}),
                  kSortsBefore},
        OrderCase{"flagged error before error", List({EncodePlaceholder(2, 5)}), List({EncodePlaceholder(1, 5)}),
                  kSortsBefore},
        OrderCase{"errors with other values are equal", List({EncodePlaceholder(1, 1)}),
                  List({EncodePlaceholder(1, 2)}), kSortsEqual},
        OrderCase{"placeholders end the comparison", List({EncodePlaceholder(0, 0), kAlpha}),
                  List({EncodePlaceholder(0, 0), kBeta}), kSortsEqual},
        OrderCase{"names ignore case", List({kAlpha}), List({kAlphaLower}), kSortsEqual},
        OrderCase{"Beta after alpha", List({kBeta}), List({kAlphaLower}), kSortsAfter},
        OrderCase{"type ascends before names", List({EncodeReal(4, u"zzz")}), List({EncodeReal(10, u"aaa")}),
                  kSortsBefore},
        OrderCase{"negative type first", List({EncodeReal(-1, u"b")}), List({EncodeReal(1, u"a")}),
                  kSortsBefore},
        OrderCase{"type 9 by GUID only", List({EncodeReal(9, u"b", 0x11)}), List({EncodeReal(9, u"a", 0x11)}),
                  kSortsEqual},
        OrderCase{"GUID bytes unsigned", List({EncodeReal(12, u"a", 0x80)}), List({EncodeReal(12, u"a", 0x7F)}),
                  kSortsAfter},
        OrderCase{"type 18 by GUID", List({EncodeReal(18, u"z", 0x01)}), List({EncodeReal(18, u"a", 0x02)}),
                  kSortsBefore},
        OrderCase{"type 19 by GUID", List({EncodeReal(19, u"a", 0x03)}), List({EncodeReal(19, u"a", 0x02)}),
                  kSortsAfter},
        OrderCase{"type 17 equal, rest decides", List({EncodeReal(17, u"x", 1), kBeta}),
                  List({EncodeReal(17, u"y", 2), kAlpha}), kSortsAfter},
        OrderCase{"type 17 equal to the end", List({EncodeReal(17, u"x", 1)}), List({EncodeReal(17, u"y", 2)}),
                  kSortsEqual},
        OrderCase{"second level decides", List({kAlpha, kAlpha}), List({kAlphaLower, kBeta}), kSortsBefore},
        OrderCase{"deeper list after at second level", List({kAlpha, kAlpha, kAlpha}), List({kAlpha, kBeta}),
                  kSortsAfter},
        OrderCase{"prefix of a name first", List({EncodeReal(5, u"Al")}), List({kAlpha}), kSortsBefore},
        OrderCase{"extra bytes do not count", List({EncodeReal(5, u"a", 0, 1, {1})}),
                  List({EncodeReal(5, u"a", 0, 2, {2, 3})}), kSortsEqual}));

TEST(CompareValidLists, ShortItemsReadAsZerosPastTheirEnd) {
    // An 18-byte item holds a kind of 3 and type 9 but no GUID: it reads as zeros.
    Bytes shortItem(18, 0);
    StoreU16(shortItem.data(), 18);
    StoreU32(shortItem.data() + kKindOffset, 3);
    StoreU32(shortItem.data() + kTypeOffset, 9);
    const Bytes zeroGuid = EncodeReal(9, u"", 0x00);
    const Bytes oneGuid = EncodeReal(9, u"", 0x01);
    EXPECT_EQ(Compare(List({shortItem}), List({zeroGuid})), kSortsEqual);
    EXPECT_EQ(Compare(List({shortItem}), List({oneGuid})), kSortsBefore);
    // Items of 2 bytes: kind 0 on both sides, equal.
    EXPECT_EQ(Compare(List({Bytes{2, 0}}), List({Bytes{2, 0}})), kSortsEqual);
}

TEST(CompareValidLists, NameWithoutTerminatorStopsAtItsItem) {
    // A real item whose name fills the item to its end without a zero character,
    // followed by a second item: the name must not run into the next item.
    Bytes unterminated = EncodeReal(5, u"ab");
    unterminated.resize(unterminated.size() - 4);  // drop the zero and the gap
    StoreU16(unterminated.data(), static_cast<std::uint16_t>(unterminated.size()));
    g_sawUnterminated = false;
    EXPECT_EQ(Compare(List({unterminated, kAlpha}), List({EncodeReal(5, u"AB"), kAlpha})), kSortsEqual);
    EXPECT_TRUE(g_sawUnterminated);
}

// Counts what it is asked; orders nothing (every name is "before").
int g_asked = 0;
int CountingCompare(const NameView&, const NameView&) noexcept {
    ++g_asked;
    return -1;
}

TEST(CompareValidLists, NamesWithTheSameUnitsAreEqualWithoutAsking) {
    const Bytes a = List({EncodeReal(5, u"Line3"), EncodeReal(5, u"Pump\u00e91"), EncodeReal(5, u"PV")});
    const Bytes b = List({EncodeReal(5, u"Line3"), EncodeReal(5, u"Pump\u00e91"), EncodeReal(5, u"SP")});
    g_asked = 0;
    EXPECT_EQ(CompareValidLists(a.data(), b.data(), CountingCompare), kSortsBefore);
    EXPECT_EQ(g_asked, 1);  // only the third level differs
    g_asked = 0;
    EXPECT_EQ(CompareValidLists(a.data(), b.data(), CountingCompare, SameNames::kAskAlways), kSortsBefore);
    EXPECT_EQ(g_asked, 1);  // the counting order stops at the first level
    // Case differs: the order is asked (only it knows the locale's folding).
    g_asked = 0;
    EXPECT_EQ(CompareValidLists(List({kAlpha}).data(), List({kAlphaLower}).data(), CountingCompare), kSortsBefore);
    EXPECT_EQ(g_asked, 1);
    // A prefix is not the same name, nor is a name cut at its item's end.
    Bytes unterminated = EncodeReal(5, u"ab");
    unterminated.resize(unterminated.size() - 4);
    StoreU16(unterminated.data(), static_cast<std::uint16_t>(unterminated.size()));
    g_asked = 0;
    EXPECT_EQ(CompareValidLists(List({unterminated}).data(), List({EncodeReal(5, u"abc")}).data(), CountingCompare),
              kSortsBefore);
    EXPECT_EQ(g_asked, 1);
    // The same name, once cut at its item's end and once terminated: equal.
    g_asked = 0;
    EXPECT_EQ(CompareValidLists(List({unterminated}).data(), List({EncodeReal(5, u"ab")}).data(), CountingCompare),
              kSortsEqual);
    EXPECT_EQ(g_asked, 0);
}

TEST(ComparableListSize, RefusesListsAtTheLimitAndUnreadableBytes) {
    Bytes big = List({Bytes(kComparableListLimit - 1, 0)});
    StoreU16(big.data(), static_cast<std::uint16_t>(kComparableListLimit - 1));
    const auto all = [&](std::size_t n) { return n <= big.size(); };
    EXPECT_EQ(ComparableListSize(big.data(), all), std::optional<std::size_t>(kComparableListLimit - 1));

    Bytes limit = List({Bytes(kComparableListLimit, 0)});
    StoreU16(limit.data(), static_cast<std::uint16_t>(kComparableListLimit));
    const auto allLimit = [&](std::size_t n) { return n <= limit.size(); };
    EXPECT_FALSE(ComparableListSize(limit.data(), allLimit));

    // Items of size 1 never reach a terminator: the limit ends the walk.
    Bytes ones(kComparableListLimit + 2, 1);
    const auto allOnes = [&](std::size_t n) { return n <= ones.size(); };
    EXPECT_FALSE(ComparableListSize(ones.data(), allOnes));

    const Bytes list = List({kAlpha, kBeta});
    const auto cutShort = [&](std::size_t n) { return n <= kAlpha.size() + 1; };
    EXPECT_FALSE(ComparableListSize(list.data(), cutShort));
}

}  // namespace
}  // namespace vtls::itemid
