// The internal list helpers on lists in the process's own memory.
#include "itemid/id_lists.h"

#include <gtest/gtest.h>

#include <cstring>

#include "list_bytes.h"

namespace vtls {
namespace {

TEST(IDLists, SizeAndCloneOfThreeItems) {
    const test::Bytes list = test::List({test::EncodeReal(5, u"one"), test::EncodePlaceholder(0, 0),
                                         test::EncodeReal(9, u"three", 0x42)});
    const auto* pidl = reinterpret_cast<LPCITEMIDLIST>(list.data());
    EXPECT_EQ(GetIDListSize(pidl), list.size() - 2);
    UniqueIDList copy(CloneIDList(pidl));
    ASSERT_TRUE(copy);
    EXPECT_NE(static_cast<const void*>(copy.get()), static_cast<const void*>(pidl));
    EXPECT_EQ(std::memcmp(copy.get(), list.data(), list.size()), 0);
}

TEST(IDLists, NullAndEmpty) {
    EXPECT_EQ(GetIDListSize(nullptr), 0u);
    EXPECT_EQ(CloneIDList(nullptr), nullptr);
    const test::Bytes empty = test::List({});
    EXPECT_EQ(GetIDListSize(reinterpret_cast<LPCITEMIDLIST>(empty.data())), 0u);
    UniqueIDList copy(CloneIDList(reinterpret_cast<LPCITEMIDLIST>(empty.data())));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy.get()->mkid.cb, 0u);
}

}  // namespace
}  // namespace vtls
