#include "itemid/portable/cida_layout.h"

#include <gtest/gtest.h>

#include "itemid/portable/id_list.h"
#include "list_bytes.h"

namespace vtls::itemid {
namespace {

using test::Bytes;
using test::List;

Bytes Pack(const Bytes* parent, const std::vector<Bytes>& children) {
    std::vector<const std::uint8_t*> pointers;
    for (const Bytes& child : children) pointers.push_back(child.data());
    const auto count = static_cast<std::uint32_t>(children.size());
    const auto size = CidaSize(parent ? std::optional<std::size_t>(ListSize(parent->data())) : std::nullopt, count,
                               [&](std::uint32_t i) { return ListSize(pointers[i]); });
    EXPECT_TRUE(size.has_value());
    Bytes block(*size, 0xCD);
    WriteCida(block.data(), parent ? parent->data() : nullptr, count, pointers.data());
    return block;
}

TEST(Cida, EmptyBlockHoldsTwoZeros) {
    EXPECT_EQ(Pack(nullptr, {}), Bytes(8, 0));
}

TEST(Cida, ParentAndChildrenArePackedWithoutPadding) {
    const Bytes parent = List({test::EncodeReal(5, u"Template")});  // 58-byte item
    const Bytes child = List({test::EncodePlaceholder(0, 0)});          // 42-byte item
    const Bytes block = Pack(&parent, {child, child});
    ASSERT_EQ(block.size(), 164u);
    EXPECT_EQ(LoadU32(block.data()), 2u);
    EXPECT_EQ(LoadU32(block.data() + 4), 16u);
    EXPECT_EQ(LoadU32(block.data() + 8), 76u);
    EXPECT_EQ(LoadU32(block.data() + 12), 120u);
    EXPECT_EQ(Bytes(block.begin() + 16, block.begin() + 76), parent);
    EXPECT_EQ(Bytes(block.begin() + 76, block.begin() + 120), child);
    EXPECT_EQ(Bytes(block.begin() + 120, block.end()), child);
}

TEST(Cida, OddSizedListsStartAtOddOffsets) {
    const Bytes odd = List({Bytes{3, 0, 0xAB}});
    const Bytes block = Pack(nullptr, {odd, odd});
    EXPECT_EQ(LoadU32(block.data() + 4), 0u);
    EXPECT_EQ(LoadU32(block.data() + 8), 16u);
    EXPECT_EQ(LoadU32(block.data() + 12), 21u);
    EXPECT_EQ(block.size(), 26u);
}

TEST(Cida, SizeBeyondThirtyTwoBitsIsRefused) {
    EXPECT_FALSE(CidaSize(std::nullopt, 0x40000000u, [](std::uint32_t) { return std::size_t{0}; }));
    EXPECT_FALSE(CidaSize(std::nullopt, 2, [](std::uint32_t) { return std::size_t{0x7FFFFFFF}; }));
}

TEST(CidaView, ReadsWhatWasWritten) {
    const Bytes parent = List({test::EncodeReal(5, u"P")});
    const Bytes a = List({test::EncodeReal(5, u"a")});
    const Bytes b = List({test::EncodeReal(5, u"b"), test::EncodeReal(5, u"c")});
    const Bytes block = Pack(&parent, {a, b});
    const auto view = CidaView::Parse(block.data(), block.size());
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->Count(), 2u);
    EXPECT_EQ(Bytes(view->Parent(), view->Parent() + parent.size()), parent);
    EXPECT_EQ(Bytes(view->Child(1), view->Child(1) + b.size()), b);
    EXPECT_EQ(view->Child(2), nullptr);

    const Bytes orphan = Pack(nullptr, {a});
    const auto noParent = CidaView::Parse(orphan.data(), orphan.size());
    ASSERT_TRUE(noParent.has_value());
    EXPECT_EQ(noParent->Parent(), nullptr);
}

TEST(CidaView, RefusesBlocksThatPointOutside) {
    const Bytes a = List({test::EncodeReal(5, u"a")});
    const Bytes good = Pack(nullptr, {a, a});
    const auto refuse = [](Bytes block, const char* what) {
        EXPECT_FALSE(CidaView::Parse(block.data(), block.size()).has_value()) << what;
    };
    refuse(Bytes(good.begin(), good.begin() + 7), "shorter than the header");
    refuse(Bytes(good.begin(), good.end() - 1), "last list cut");
    Bytes block = good;
    StoreU32(block.data(), 0xFFFFFFFF);
    refuse(block, "count beyond the bytes");
    block = good;
    StoreU32(block.data(), 100);
    refuse(block, "count larger than the offsets present");
    block = good;
    StoreU32(block.data() + 12, static_cast<std::uint32_t>(good.size()));
    refuse(block, "offset at the end");
    block = good;
    StoreU32(block.data() + 8, 0xFFFFFFF0);
    refuse(block, "offset far outside");
    block = good;
    StoreU32(block.data() + 4, static_cast<std::uint32_t>(good.size() - 1));
    refuse(block, "parent list without room for its terminator");
    block = good;
    StoreU16(block.data() + LoadU32(good.data() + 12), 0x7000);
    refuse(block, "item size jumping past the end");
    EXPECT_FALSE(CidaView::Parse(nullptr, 8).has_value());
}

}  // namespace
}  // namespace vtls::itemid
