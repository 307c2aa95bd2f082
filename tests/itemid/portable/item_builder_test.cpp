#include "itemid/portable/item_builder.h"

#include <gtest/gtest.h>

#include "itemid/portable/id_list.h"
#include "list_bytes.h"

namespace vtls::itemid {
namespace {

using test::Bytes;

Bytes BuildReal(const std::u16string& name, std::int32_t type, std::uint32_t data, std::uint8_t guidFill,
                const Bytes& extra, bool nullName = false) {
    const auto size = RealItemSize(name.size(), extra.size());
    EXPECT_TRUE(size.has_value());
    Bytes out(*size + kTerminatorSize, 0xCD);
    const Bytes guid(kGuidSize, guidFill);
    WriteRealItem(out.data(), *size,
                  {nullName ? nullptr : reinterpret_cast<const std::uint8_t*>(name.data()), name.size(), type,
                   guid.data(), data, extra.data(), extra.size()});
    return out;
}

TEST(ItemBuilder, RealItemMatchesTheLayoutByteForByte) {
    // "Template", type 5, data 0, zero GUID: 42 + 16 = 58 bytes, then the terminator.
    const Bytes built = BuildReal(u"Template", 5, 0, 0, {});
    EXPECT_EQ(built, test::List({test::EncodeReal(5, u"Template", 0, 0, {})}));
    ASSERT_EQ(built.size(), 60u);
    EXPECT_EQ(ListSize(built.data()), 58u);
    EXPECT_EQ(Bytes(built.begin() + 2, built.begin() + 6), (Bytes{0x72, 0x19, 0x03, 0x25}));
}

TEST(ItemBuilder, NameAndExtraBytesLandAtTheirOffsets) {
    const Bytes extra{1, 2, 3, 4, 5, 6};
    const Bytes built = BuildReal(u"Ab", -7, 0xA1B2C3D4, 0x5A, extra);
    ASSERT_EQ(LoadU16(built.data()), 52u);
    EXPECT_EQ(Bytes(built.begin() + 38, built.begin() + 44), (Bytes{'A', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(Bytes(built.begin() + 46, built.begin() + 52), extra);
    EXPECT_EQ(LoadI32(built.data() + kTypeOffset), -7);
    EXPECT_EQ(LoadU32(built.data() + kDataOffset), 0xA1B2C3D4u);
    EXPECT_EQ(built[kGuidOffset], 0x5A);
    EXPECT_EQ(built[kGuidOffset + 15], 0x5A);
    EXPECT_EQ(LoadU16(built.data() + 52), 0u);  // terminator
}

TEST(ItemBuilder, MissingNameIsALoneZeroCharacter) {
    const Bytes built = BuildReal(u"", 1, 0, 0, {}, /*nullName=*/true);
    EXPECT_EQ(LoadU16(built.data()), 42u);
    EXPECT_EQ(LoadU16(built.data() + kNameOffset), 0u);
}

TEST(ItemBuilder, PlaceholdersCarryKindAndValueOnly) {
    for (const auto& [kind, value] : {std::pair{Kind::kWait, 0u}, std::pair{Kind::kError, 0x80004005u},
                                      std::pair{Kind::kErrorFlagged, 0x80004005u}}) {
        Bytes out(kFixedSize + kTerminatorSize, 0xCD);
        WritePlaceholder(out.data(), kind, value);
        EXPECT_EQ(out, test::List({test::EncodePlaceholder(static_cast<std::int32_t>(kind), value)}));
    }
}

TEST(ItemBuilder, SizesBeyondTheSixteenBitFieldAreRefused) {
    EXPECT_EQ(RealItemSize(0, kMaxNameAndExtraBytes), std::optional<std::size_t>(0xFFFF));
    EXPECT_EQ(RealItemSize(1, kMaxNameAndExtraBytes - 2), std::optional<std::size_t>(0xFFFF));
    EXPECT_FALSE(RealItemSize(0, kMaxNameAndExtraBytes + 1));
    EXPECT_FALSE(RealItemSize(1, kMaxNameAndExtraBytes - 1));
    EXPECT_FALSE(RealItemSize(SIZE_MAX / 2 + 1, 0));  // doubling the name must not wrap
    EXPECT_FALSE(RealItemSize(0, SIZE_MAX));
}

}  // namespace
}  // namespace vtls::itemid
