// The root item's bytes and the order of lists by their root items.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "namespace/portable/root_item.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using vtls::ns::RootOrder;

Bytes ClassId(std::uint8_t first, std::uint8_t last = 0) {
    Bytes id(16, 0x40);
    id.front() = first;
    id.back() = last;
    return id;
}

// A root item for the class, then `deeper` one-byte-payload items, then the terminator.
Bytes RootList(const Bytes& classId, int deeper = 0) {
    Bytes list(vtls::ns::kRootListSize, 0);
    vtls::ns::WriteRootList(list.data(), classId.data());
    for (int i = 0; i < deeper; ++i) {
        list.insert(list.end() - 2, {3, 0, 0x99});
    }
    return list;
}

TEST(RootItem, IsEighteenBytesOfSizeAndClassIdThenTheTerminator) {
    const Bytes classId = {0x0F, 0xC2, 0x99, 0xBC, 0x57, 0x92, 0xD3, 0x11,
                           0xA2, 0x8A, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81};
    Bytes list(vtls::ns::kRootListSize + 4, 0xEE);
    vtls::ns::WriteRootList(list.data(), classId.data());
    const Bytes expected = {0x12, 0x00, 0x0F, 0xC2, 0x99, 0xBC, 0x57, 0x92, 0xD3, 0x11, 0xA2,
                            0x8A, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81, 0x00, 0x00, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(list, expected);
    EXPECT_TRUE(vtls::ns::BeginsWithRootItem(list.data()));
    for (const std::uint16_t other : {0, 2, 17, 19, 42, 0x1200}) {
        const Bytes item = {static_cast<std::uint8_t>(other), static_cast<std::uint8_t>(other >> 8)};
        EXPECT_FALSE(vtls::ns::BeginsWithRootItem(item.data())) << other;
    }
}

TEST(RootItem, ListsOrderByClassIdBytesFirstThenDepth) {
    struct Case {
        Bytes a;
        Bytes b;
        RootOrder expected;
    };
    const Case cases[] = {
        {RootList(ClassId(1)), RootList(ClassId(1)), RootOrder::kEqual},
        {RootList(ClassId(1)), RootList(ClassId(2)), RootOrder::kBefore},
        {RootList(ClassId(0xFF)), RootList(ClassId(0x01)), RootOrder::kAfter},  // unsigned bytes
        {RootList(ClassId(1, 1)), RootList(ClassId(1, 2)), RootOrder::kBefore},  // the last byte counts too
        {RootList(ClassId(1)), RootList(ClassId(1), 1), RootOrder::kBefore},
        {RootList(ClassId(1), 2), RootList(ClassId(1)), RootOrder::kAfter},
        {RootList(ClassId(2)), RootList(ClassId(1), 3), RootOrder::kAfter},  // class before depth
        {RootList(ClassId(1), 1), RootList(ClassId(1), 2), RootOrder::kCompareRests},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(vtls::ns::OrderByRootItems(c.a.data(), c.b.data()), c.expected);
    }
}

}  // namespace
