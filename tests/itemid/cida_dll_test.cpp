// SHCreateCIDA: the block a caller gets back.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "itemid/portable/cida_layout.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;
using vtls::test::List;

Bytes BlockBytes(HGLOBAL block) {
    const SIZE_T size = GlobalSize(block);
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(block));
    Bytes copy(bytes, bytes + size);
    GlobalUnlock(block);
    return copy;
}

TEST(CreateCIDA, PacksParentAndChildrenIntoFixedGlobalMemory) {
    const Bytes parent = List({vtls::test::EncodeReal(5, u"Template")});
    const Bytes child = List({vtls::test::EncodePlaceholder(0, 0)});
    LPCITEMIDLIST children[] = {reinterpret_cast<LPCITEMIDLIST>(child.data()),
                                reinterpret_cast<LPCITEMIDLIST>(child.data())};
    const HGLOBAL block = SHCreateCIDA(reinterpret_cast<LPCITEMIDLIST>(parent.data()), 2, children);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 164u);
    EXPECT_EQ(GlobalLock(block), block);  // fixed memory: the handle is the address
    GlobalUnlock(block);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);  // not left locked
    const Bytes bytes = BlockBytes(block);
    const auto view = vtls::itemid::CidaView::Parse(bytes.data(), bytes.size());
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(vtls::itemid::LoadU32(bytes.data() + 4), 16u);
    EXPECT_EQ(vtls::itemid::LoadU32(bytes.data() + 8), 76u);
    EXPECT_EQ(vtls::itemid::LoadU32(bytes.data() + 12), 120u);
    EXPECT_EQ(Bytes(bytes.begin() + 16, bytes.begin() + 76), parent);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(CreateCIDA, EmptyAndRefused) {
    const HGLOBAL empty = SHCreateCIDA(nullptr, 0, nullptr);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(BlockBytes(empty), Bytes(8, 0));
    GlobalFree(empty);

    const Bytes child = List({vtls::test::EncodePlaceholder(0, 0)});
    LPCITEMIDLIST withNull[] = {reinterpret_cast<LPCITEMIDLIST>(child.data()), nullptr};
    EXPECT_EQ(SHCreateCIDA(nullptr, 2, withNull), nullptr);
    EXPECT_EQ(SHCreateCIDA(nullptr, 1, nullptr), nullptr);
}

}  // namespace
