#include "itemid/portable/item_builder.h"

#include <gtest/gtest.h>

#include "list_bytes.h"

namespace vtls::itemid {
namespace {

using test::Bytes;

TEST(ItemBuilder, RealItemMatchesTheLayoutByteForByte) {
    const Bytes extra{1, 2, 3, 4, 5, 6};
    const std::u16string name = u"Ab";
    const auto size = RealItemSize(name.size(), extra.size());
    ASSERT_EQ(size, std::optional<std::size_t>(52));
    Bytes built(*size + kTerminatorSize, 0xCD);
    const Bytes guid(kGuidSize, 0x5A);
    WriteRealItem(built.data(), *size, {reinterpret_cast<const std::uint8_t*>(name.data()), name.size(), -7,
                                        guid.data(), 0xA1B2C3D4, extra.data(), extra.size()});
    EXPECT_EQ(built, test::List({test::EncodeReal(-7, name, 0x5A, 0xA1B2C3D4, extra)}));
}

TEST(ItemBuilder, SizesBeyondTheSixteenBitFieldAreRefused) {
    EXPECT_EQ(RealItemSize(0, kMaxNameAndExtraBytes), std::optional<std::size_t>(0xFFFF));
    EXPECT_EQ(RealItemSize(1, kMaxNameAndExtraBytes - 2), std::optional<std::size_t>(0xFFFF));
    // The longest name on its own (the limit is odd: one byte is left for extra ones).
    EXPECT_EQ(RealItemSize(kMaxNameAndExtraBytes / 2, 1), std::optional<std::size_t>(0xFFFF));
    EXPECT_FALSE(RealItemSize(kMaxNameAndExtraBytes / 2 + 1, 0));
    EXPECT_FALSE(RealItemSize(0, kMaxNameAndExtraBytes + 1));
    EXPECT_FALSE(RealItemSize(1, kMaxNameAndExtraBytes - 1));
    EXPECT_FALSE(RealItemSize(SIZE_MAX / 2 + 1, 0));  // doubling the name must not wrap
    EXPECT_FALSE(RealItemSize(0, SIZE_MAX));
}

}  // namespace
}  // namespace vtls::itemid
