#include "itemid/portable/id_list.h"

#include <gtest/gtest.h>

#include "list_bytes.h"

namespace vtls::itemid {
namespace {

using test::Bytes;
using test::List;

TEST(ListSize, SumsItemsWithoutTheTerminator) {
    EXPECT_EQ(ListSize(nullptr), 0u);
    const Bytes empty = List({});
    EXPECT_EQ(ListSize(empty.data()), 0u);
    const Bytes three = List({test::EncodePlaceholder(0, 0), Bytes{3, 0, 9}, test::EncodeReal(5, u"x")});
    EXPECT_EQ(ListSize(three.data()), 42u + 3u + 44u);
}

TEST(BoundedListSize, NeedsTheTerminatorInsideTheBytes) {
    const Bytes list = List({Bytes{4, 0, 1, 2}, Bytes{3, 0, 7}});
    EXPECT_EQ(BoundedListSize(list.data(), list.size()), std::optional<std::size_t>(7));
    EXPECT_EQ(BoundedListSize(list.data(), list.size() + 10), std::optional<std::size_t>(7));
    EXPECT_FALSE(BoundedListSize(list.data(), list.size() - 1));  // half a terminator
    EXPECT_FALSE(BoundedListSize(list.data(), 1));
    EXPECT_FALSE(BoundedListSize(list.data(), 0));
    // A size that jumps past the end.
    const Bytes jump{0xFF, 0x00, 0, 0};
    EXPECT_FALSE(BoundedListSize(jump.data(), jump.size()));
}

}  // namespace
}  // namespace vtls::itemid
