// SHCreateCIDA: the block a caller gets back; its layout is the portable tests'.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "base/unique_resource.h"
#include "itemid/portable/cida_layout.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;
using vtls::test::List;

TEST(CreateCIDA, PacksParentAndChildrenIntoFixedGlobalMemory) {
    const Bytes parent = List({vtls::test::EncodeReal(5, u"Template")});
    const Bytes child = List({vtls::test::EncodePlaceholder(0, 0)});
    LPCITEMIDLIST children[] = {reinterpret_cast<LPCITEMIDLIST>(child.data()), nullptr};
    EXPECT_EQ(SHCreateCIDA(nullptr, 2, children), nullptr);  // a null child has no list
    EXPECT_EQ(SHCreateCIDA(nullptr, 1, nullptr), nullptr);
    children[1] = children[0];
    const vtls::UniqueGlobal owned(SHCreateCIDA(reinterpret_cast<LPCITEMIDLIST>(parent.data()), 2, children));
    const HGLOBAL block = owned.get();
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);  // not left locked
    const auto* bytes = static_cast<const std::uint8_t*>(GlobalLock(block));
    EXPECT_EQ(static_cast<const void*>(bytes), block);  // fixed memory: the handle is the address
    ASSERT_EQ(GlobalSize(block), 164u);
    const auto view = vtls::itemid::CidaView::Parse(bytes, 164);
    ASSERT_TRUE(view.has_value());
    EXPECT_EQ(vtls::test::ListBytes(view->Parent()), parent);
    EXPECT_EQ(vtls::test::ListBytes(view->Child(1)), child);
    GlobalUnlock(block);
}

}  // namespace
