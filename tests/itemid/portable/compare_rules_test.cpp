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

result::Code Compare(const Bytes& a, const Bytes& b) { return CompareValidLists(a.data(), b.data(), FoldCompare); }

const Bytes kAlpha = EncodeReal(5, u"Alpha");
const Bytes kAlphaLower = EncodeReal(5, u"alpha");
const Bytes kBeta = EncodeReal(5, u"Beta");

// The fuzzer checks that the order is one (antisymmetric, reflexive); these are its rules.
TEST(CompareValidLists, OrdersAsTheNamespaceDoes) {
    const struct {
        const char* what;
        Bytes a, b;
        result::Code expected;
    } cases[] = {
        {"depth before content", List({kBeta}), List({kAlpha, kAlpha}), kSortsBefore},
        {"wait after real", List({EncodePlaceholder(0, 0)}), List({kAlpha}), kSortsAfter},
        {"error before wait", List({EncodePlaceholder(1, 5)}), List({EncodePlaceholder(0, 0)}), kSortsBefore},
        {"flagged error before error", List({EncodePlaceholder(2, 5)}), List({EncodePlaceholder(1, 5)}), kSortsBefore},
        {"errors with other values are equal", List({EncodePlaceholder(1, 1)}),
         List({EncodePlaceholder(1, 2)}), kSortsEqual},
        {"placeholders end the comparison", List({EncodePlaceholder(0, 0), kAlpha}),
         List({EncodePlaceholder(0, 0), kBeta}), kSortsEqual},
        {"names ignore case", List({kAlpha}), List({kAlphaLower}), kSortsEqual},
        {"type ascends before names", List({EncodeReal(4, u"zzz")}), List({EncodeReal(10, u"aaa")}), kSortsBefore},
        {"negative type first", List({EncodeReal(-1, u"b")}), List({EncodeReal(1, u"a")}), kSortsBefore},
        {"type 9 by GUID only", List({EncodeReal(9, u"b", 0x11)}), List({EncodeReal(9, u"a", 0x11)}), kSortsEqual},
        {"GUID bytes unsigned", List({EncodeReal(12, u"a", 0x80)}), List({EncodeReal(12, u"a", 0x7F)}), kSortsAfter},
        {"type 18 by GUID", List({EncodeReal(18, u"z", 0x01)}), List({EncodeReal(18, u"a", 0x02)}), kSortsBefore},
        {"type 19 by GUID", List({EncodeReal(19, u"a", 0x03)}), List({EncodeReal(19, u"a", 0x02)}), kSortsAfter},
        {"type 17 equal, rest decides", List({EncodeReal(17, u"x", 1), kBeta}),
         List({EncodeReal(17, u"y", 2), kAlpha}), kSortsAfter},
        {"second level decides", List({kAlpha, kAlpha}), List({kAlphaLower, kBeta}), kSortsBefore},
        {"prefix of a name first", List({EncodeReal(5, u"Al")}), List({kAlpha}), kSortsBefore},
        {"extra bytes do not count", List({EncodeReal(5, u"a", 0, 1, {1})}),
         List({EncodeReal(5, u"a", 0, 2, {2, 3})}), kSortsEqual}};
    for (const auto& c : cases) EXPECT_EQ(Compare(c.a, c.b), c.expected) << c.what;
}

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
    // The name fills its item to the end; it must not run into the next item.
    g_sawUnterminated = false;
    EXPECT_EQ(Compare(List({test::EncodeUnterminated(5, u"ab"), kAlpha}), List({EncodeReal(5, u"AB"), kAlpha})),
              kSortsEqual);
    EXPECT_TRUE(g_sawUnterminated);
}

TEST(ComparableListSize, RefusesListsAtTheLimitAndUnreadableBytes) {
    const auto measure = [](std::size_t itemSize, std::size_t readable = SIZE_MAX) {
        Bytes list = List({Bytes(itemSize, 0)});
        StoreU16(list.data(), static_cast<std::uint16_t>(itemSize));
        return ComparableListSize(list.data(), [&](std::size_t n) { return n <= std::min(list.size(), readable); });
    };
    EXPECT_EQ(measure(kComparableListLimit - 1), std::optional<std::size_t>(kComparableListLimit - 1));
    EXPECT_FALSE(measure(kComparableListLimit));
    EXPECT_FALSE(measure(100, 101));  // the terminator cannot be read
    // Items of size 1 never reach a terminator: the limit ends the walk.
    Bytes ones(kComparableListLimit + 2, 1);
    EXPECT_FALSE(ComparableListSize(ones.data(), [&](std::size_t n) { return n <= ones.size(); }));
}

}  // namespace
}  // namespace vtls::itemid
