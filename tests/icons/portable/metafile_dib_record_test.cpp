#include "icons/portable/metafile_dib_record.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "base/portable/byte_order.h"

namespace vtls::icons {
namespace {

using Bytes = std::vector<std::uint8_t>;
using itemid::StoreU16;
using itemid::StoreU32;

struct Dib {
    std::int32_t width = 8;
    std::int32_t height = 4;
    std::uint16_t bitCount = 1;
    std::uint32_t compression = kCompressionRgb;
    std::uint32_t coloursUsed = 0;
    std::uint32_t headerSize = 40;
    std::uint16_t planes = 1;
    std::size_t tableBytes = 8;  // as laid out
    std::size_t bitsBytes = 16;  // as laid out
};

// A bitmap record as GDI lays it out, with the icon's height and width in the
// parameter words where they are read, and the record size field exact.
Bytes MakeRecord(std::uint16_t function, std::uint16_t iconHeight, std::uint16_t iconWidth, const Dib& dib) {
    const bool stretch = function == kMetaDibStretchBlt;
    const std::size_t dibOffset = stretch ? kStretchBltDibOffset : kBitBltDibOffset;
    Bytes record(dibOffset + kInfoHeaderBytes + dib.tableBytes + dib.bitsBytes + 1 /* keep it even */, 0);
    record.resize(record.size() & ~std::size_t{1});
    StoreU32(record.data(), static_cast<std::uint32_t>(record.size() / 2));
    StoreU16(record.data() + kRecordFunctionOffset, function);
    StoreU16(record.data() + (stretch ? kStretchBltHeightOffset : kBitBltHeightOffset), iconHeight);
    StoreU16(record.data() + (stretch ? kStretchBltWidthOffset : kBitBltWidthOffset), iconWidth);
    std::uint8_t* header = record.data() + dibOffset;
    StoreU32(header, dib.headerSize);
    StoreU32(header + kInfoWidthOffset, static_cast<std::uint32_t>(dib.width));
    StoreU32(header + kInfoHeightOffset, static_cast<std::uint32_t>(dib.height));
    StoreU16(header + kInfoPlanesOffset, dib.planes);
    StoreU16(header + kInfoBitCountOffset, dib.bitCount);
    StoreU32(header + kInfoCompressionOffset, dib.compression);
    StoreU32(header + kInfoColoursUsedOffset, dib.coloursUsed);
    return record;
}

MetaRecord Parse(const Bytes& record) { return ParseMetaRecord(record.data(), record.size()); }

// Both bitmap records with a bitmap of one bit per pixel: the icon's size from
// their own parameter words (not the words around them), the parts where they lie.
TEST(MetafileDibRecord, BitmapRecordsGiveTheIconSizeAndTheirBitmap) {
    for (const std::uint16_t function : {kMetaDibStretchBlt, kMetaDibBitBlt}) {
        const bool stretch = function == kMetaDibStretchBlt;
        Bytes record = MakeRecord(function, 4, 7, Dib{});
        StoreU16(record.data() + (stretch ? 8 : 6), 0x1111);
        StoreU16(record.data() + (stretch ? 14 : 12), 0x2222);
        const MetaRecord parsed = Parse(record);
        ASSERT_EQ(parsed.kind, RecordKind::kBitmap) << function;
        EXPECT_EQ(parsed.bytes, record.size());
        EXPECT_EQ(parsed.dib.iconHeight, 4) << function;
        EXPECT_EQ(parsed.dib.iconWidth, 7) << function;
        const std::uint8_t* header = record.data() + (stretch ? 26 : 22);
        EXPECT_EQ(parsed.dib.header, header);
        EXPECT_TRUE(parsed.dib.bitmapWidth == 8 && parsed.dib.bitmapHeight == 4);
        EXPECT_EQ(parsed.dib.colourTable, header + 40);
        EXPECT_EQ(parsed.dib.bits, header + 48);  // after a palette of two
        EXPECT_EQ(parsed.dib.bitsBytes, 16u);     // 4 rows of 32 bits
    }
}

TEST(MetafileDibRecord, ColourTableByFormat) {
    const struct {
        const char* what;
        Dib dib;
        std::size_t tableBytes;  // what the platform reads
        std::uint32_t palette;
        std::size_t bitsOffset;  // from the header
    } cases[] = {
        {"bit fields: three masks", Dib{2, 2, 32, kCompressionBitfields, 0, 40, 1, 12, 16}, 12, 0, 52},
        {"bit fields with palette entries", Dib{2, 2, 16, kCompressionBitfields, 2, 40, 1, 20, 8}, 12, 0, 60},
        {"24-bit: no table", Dib{2, 2, 24, kCompressionRgb, 0, 40, 1, 0, 16}, 0, 0, 40},
        {"24-bit with an optional table", Dib{2, 2, 24, kCompressionRgb, 5, 40, 1, 20, 16}, 0, 0, 60},
        {"4-bit, full table", Dib{2, 2, 4, kCompressionRgb, 0, 40, 1, 64, 8}, 64, 16, 104},
        {"4-bit, 3 colours used", Dib{2, 2, 4, kCompressionRgb, 3, 40, 1, 12, 8}, 12, 3, 52},
        {"8-bit, more colours than indexable", Dib{2, 2, 8, kCompressionRgb, 300, 40, 1, 1200, 8}, 1024, 256, 1240},
    };
    for (const auto& c : cases) {
        const Bytes record = MakeRecord(kMetaDibStretchBlt, 2, 2, c.dib);
        const MetaRecord parsed = Parse(record);
        ASSERT_EQ(parsed.kind, RecordKind::kBitmap) << c.what;
        EXPECT_EQ(parsed.dib.colourTableBytes, c.tableBytes) << c.what;
        EXPECT_EQ(parsed.dib.paletteEntries, c.palette) << c.what;
        EXPECT_EQ(parsed.dib.bits - parsed.dib.header, static_cast<std::ptrdiff_t>(c.bitsOffset)) << c.what;
    }
}

// What would run past the record is the fuzzer's; these are the headers whose
// sizes wrap or whose bits cannot be measured.
TEST(MetafileDibRecord, HeadersThatCannotBeMeasuredAreRefused) {
    const struct {
        const char* what;
        Dib dib;
    } cases[] = {
        {"core header", Dib{8, 4, 1, 0, 0, 12}},
        {"two planes", Dib{8, 4, 1, 0, 0, 40, 2}},
        {"zero width", Dib{0, 4}},
        {"zero height", Dib{8, 0}},
        {"2 bits per pixel", Dib{8, 4, 2}},
        {"run-length", Dib{8, 4, 8, 1, 0, 40, 1, 1024, 32}},
        {"bit fields at 24 bits", Dib{2, 2, 24, kCompressionBitfields, 0, 40, 1, 12, 16}},
        {"colours used wrapping 32 bits", Dib{8, 4, 1, 0, 0xFFFFFFFF}},
    };
    for (const auto& c : cases) {
        const Bytes record = MakeRecord(kMetaDibStretchBlt, 1, 1, c.dib);
        EXPECT_EQ(Parse(record).kind, RecordKind::kMalformed) << c.what;
    }
}

}  // namespace
}  // namespace vtls::icons
