#include "icons/portable/icon_group_directory.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace vtls::icons {
namespace {

std::vector<std::uint8_t> Group(std::uint16_t count, std::size_t entriesPresent) {
    std::vector<std::uint8_t> bytes = {0, 0, 1, 0, static_cast<std::uint8_t>(count),
                                       static_cast<std::uint8_t>(count >> 8)};
    bytes.resize(kGroupHeaderBytes + entriesPresent * kGroupEntryBytes, 0x20);
    return bytes;
}

TEST(IconGroupDirectory, TheHeaderAndEveryAnnouncedEntryMustBePresent) {
    for (std::uint16_t count : {0, 1, 3}) {
        const auto exact = Group(count, count);
        EXPECT_TRUE(IconGroupDirectoryFits(exact.data(), exact.size())) << count;
        const auto longer = Group(count, count + 1u);
        EXPECT_TRUE(IconGroupDirectoryFits(longer.data(), longer.size())) << count;
    }
    const auto shortByOne = Group(3, 3);
    EXPECT_FALSE(IconGroupDirectoryFits(shortByOne.data(), shortByOne.size() - 1));
    const auto huge = Group(0xFFFF, 2);
    EXPECT_FALSE(IconGroupDirectoryFits(huge.data(), huge.size()));
    const auto none = Group(0, 0);
    EXPECT_FALSE(IconGroupDirectoryFits(none.data(), kGroupHeaderBytes - 1));
    EXPECT_FALSE(IconGroupDirectoryFits(nullptr, 100));
}

}  // namespace
}  // namespace vtls::icons
