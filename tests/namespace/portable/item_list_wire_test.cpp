// The item list on the wire: what the sender writes, and what the receiver
// refuses.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/portable/byte_order.h"
#include "namespace/portable/item_list_wire.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Wire(const Bytes& list) {
    Bytes wire(vtls::ns::WireSize(list.data()), 0xEE);
    EXPECT_EQ(vtls::ns::WriteWire(wire.data(), list.data()), wire.data() + wire.size());
    return wire;
}

TEST(ItemListWire, CarriesTheListWithItsTerminatorBehindItsCount) {
    const Bytes list = {4, 0, 0xA1, 0xA2, 3, 0, 0xB1, 0, 0};
    const Bytes wire = Wire(list);
    EXPECT_EQ(wire, (Bytes{9, 0, 0, 0, 4, 0, 0xA1, 0xA2, 3, 0, 0xB1, 0, 0}));
    const auto read = vtls::ns::ReadWire(wire.data(), wire.size());
    ASSERT_TRUE(read.has_value());
    EXPECT_EQ(Bytes(read->list, read->list + read->listBytes), list);
    EXPECT_EQ(read->wireBytes, wire.size());
    // Bytes after the wire form are the next argument's, not the list's.
    Bytes followed = wire;
    followed.insert(followed.end(), {1, 2, 3});
    EXPECT_EQ(vtls::ns::ReadWire(followed.data(), followed.size())->wireBytes, wire.size());
}

TEST(ItemListWire, NoListAndAnEmptyListAreDifferent) {
    Bytes wire(vtls::ns::WireSize(nullptr));
    vtls::ns::WriteWire(wire.data(), nullptr);
    EXPECT_EQ(wire, (Bytes{0, 0, 0, 0}));
    const auto absent = vtls::ns::ReadWire(wire.data(), wire.size());
    ASSERT_TRUE(absent.has_value());
    EXPECT_EQ(absent->list, nullptr);
    EXPECT_EQ(absent->wireBytes, 4u);

    const Bytes empty = Wire({0, 0});
    EXPECT_EQ(empty, (Bytes{2, 0, 0, 0, 0, 0}));
    const auto read = vtls::ns::ReadWire(empty.data(), empty.size());
    ASSERT_TRUE(read.has_value());
    EXPECT_NE(read->list, nullptr);
    EXPECT_EQ(read->listBytes, 2u);
}

TEST(ItemListWire, RefusesWhatDoesNotLieWhollyInsideTheBytesReceived) {
    const auto refused = [](const Bytes& wire) { return !vtls::ns::ReadWire(wire.data(), wire.size()).has_value(); };
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused({9, 0, 0}));                                     // count cut short
    EXPECT_TRUE(refused({9, 0, 0, 0, 4, 0, 0xA1, 0xA2, 3, 0, 0xB1, 0})); // count beyond the bytes
    EXPECT_TRUE(refused({0xFF, 0xFF, 0xFF, 0xFF, 0, 0}));                // count far beyond them
    EXPECT_TRUE(refused({1, 0, 0, 0, 0}));                               // no room for a terminator
    EXPECT_TRUE(refused({4, 0, 0, 0, 4, 0, 0xA1, 0xA2}));                // no terminator inside the count
    EXPECT_TRUE(refused({6, 0, 0, 0, 9, 0, 0xA1, 0xA2, 0, 0, 0, 0, 0})); // item beyond the count
    EXPECT_TRUE(refused({6, 0, 0, 0, 0, 0, 0, 0, 0, 0}));                // terminator before the count ends
    EXPECT_TRUE(refused({3, 0, 0, 0, 1, 0, 0}));                         // an item smaller than its size field
    EXPECT_TRUE(refused({4, 0, 0, 0, 2, 0, 0, 0xEE}));                   // no terminator where the count ends
    EXPECT_FALSE(refused({4, 0, 0, 0, 2, 0, 0, 0}));
    EXPECT_TRUE(vtls::ns::ReadWire(nullptr, 8) == std::nullopt);
}

}  // namespace
