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

TEST(Cida, ParentAndChildrenArePackedWithoutPaddingAndReadBack) {
    EXPECT_EQ(Pack(nullptr, {}), Bytes(8, 0));
    const Bytes parent = List({test::EncodeReal(5, u"Template")});  // 58-byte item
    const Bytes child = List({test::EncodePlaceholder(0, 0)});          // 42-byte item
    const Bytes other = List({test::EncodeReal(5, u"b"), test::EncodeReal(5, u"c")});
    const Bytes block = Pack(&parent, {child, other});
    ASSERT_EQ(block.size(), 16u + 60u + 44u + 90u);
    EXPECT_EQ(LoadU32(block.data()), 2u);
    EXPECT_EQ(LoadU32(block.data() + 4), 16u);
    EXPECT_EQ(LoadU32(block.data() + 8), 76u);
    EXPECT_EQ(LoadU32(block.data() + 12), 120u);
    EXPECT_EQ(Bytes(block.begin() + 16, block.begin() + 76), parent);
    EXPECT_EQ(Bytes(block.begin() + 76, block.begin() + 120), child);
    EXPECT_EQ(Bytes(block.begin() + 120, block.end()), other);
    const auto view = CidaView::Parse(block.data(), block.size());
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(view->Count(), 2u);
    EXPECT_EQ(view->Parent(), block.data() + 16);
    EXPECT_EQ(view->Child(1), block.data() + 120);
    EXPECT_EQ(view->Child(2), nullptr);
    const Bytes orphan = Pack(nullptr, {child});
    EXPECT_EQ(CidaView::Parse(orphan.data(), orphan.size())->Parent(), nullptr);
}

TEST(Cida, SizeBeyondThirtyTwoBitsIsRefused) {
    EXPECT_FALSE(CidaSize(std::nullopt, 0x40000000u, [](std::uint32_t) { return std::size_t{0}; }));
    EXPECT_FALSE(CidaSize(std::nullopt, 2, [](std::uint32_t) { return std::size_t{0x7FFFFFFF}; }));
}

TEST(CidaView, RefusesBlocksThatPointOutside) {
    const Bytes a = List({test::EncodeReal(5, u"a")});
    const Bytes good = Pack(nullptr, {a, a});
    const auto size = static_cast<std::uint32_t>(good.size());
    EXPECT_FALSE(CidaView::Parse(good.data(), 7)) << "shorter than the header";
    EXPECT_FALSE(CidaView::Parse(good.data(), good.size() - 1)) << "last list cut";
    EXPECT_FALSE(CidaView::Parse(nullptr, 8));
    const struct {
        std::size_t at;
        std::uint32_t value;
        const char* what;
    } patches[] = {{0, 0xFFFFFFFF, "count beyond the bytes"},
                   {0, 100, "count larger than the offsets present"},
                   {12, size, "offset at the end"},
                   {8, 0xFFFFFFF0, "offset far outside"},
                   {4, size - 1, "parent list without room for its terminator"},
                   {LoadU32(good.data() + 12), 0x7000, "item size jumping past the end"}};
    for (const auto& patch : patches) {
        Bytes block = good;
        StoreU32(block.data() + patch.at, patch.value);
        EXPECT_FALSE(CidaView::Parse(block.data(), block.size())) << patch.what;
    }
}

}  // namespace
}  // namespace vtls::itemid
