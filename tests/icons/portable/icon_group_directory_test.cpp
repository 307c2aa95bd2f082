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
    const struct {
        std::uint16_t count;
        std::size_t entries, bytesShort;  // entries present, bytes taken off the end
        bool fits;
    } cases[] = {{0, 0, 0, true}, {1, 1, 0, true}, {3, 3, 0, true},   {3, 4, 0, true},
                 {3, 3, 1, false}, {0xFFFF, 2, 0, false}, {0, 0, 1, false}};
    for (const auto& c : cases) {
        const auto bytes = Group(c.count, c.entries);
        EXPECT_EQ(IconGroupDirectoryFits(bytes.data(), bytes.size() - c.bytesShort), c.fits) << c.count << ", " << c.entries;
    }
    EXPECT_FALSE(IconGroupDirectoryFits(nullptr, 100));
}

}  // namespace
}  // namespace vtls::icons
