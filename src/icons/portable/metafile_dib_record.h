// Windows metafile records that draw a device-independent bitmap, as an icon
// carried in a metafile picture is drawn. Little-endian, offsets from the
// record's start:
//   0  u32 size of the record in 16-bit words, these 6 bytes included
//   4  u16 function number
//   6  u16 parameter words, numbered from 0
//
// | function                     | icon height | icon width | BITMAPINFOHEADER at |
// | 0x0940 META_DIBBITBLT        | word 1 (8)  | word 2 (10)| word 8 (22)         |
// | 0x0B41 META_DIBSTRETCHBLT    | word 2 (10) | word 3 (12)| word 10 (26)        |
//
// After the 40-byte header: the colour table, then the rows of pixel bits,
// bottom-up, each padded to 32 bits. Everything is checked against the record's
// own size and the bytes that remain of the metafile before it is read.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vtls::icons {

inline constexpr std::uint16_t kMetaDibBitBlt = 0x0940;
inline constexpr std::uint16_t kMetaDibStretchBlt = 0x0B41;

inline constexpr std::size_t kRecordSizeOffset = 0;
inline constexpr std::size_t kRecordFunctionOffset = 4;
inline constexpr std::size_t kRecordHeaderBytes = 6;

inline constexpr std::size_t kBitBltHeightOffset = 8;
inline constexpr std::size_t kBitBltWidthOffset = 10;
inline constexpr std::size_t kBitBltDibOffset = 22;
inline constexpr std::size_t kStretchBltHeightOffset = 10;
inline constexpr std::size_t kStretchBltWidthOffset = 12;
inline constexpr std::size_t kStretchBltDibOffset = 26;

// BITMAPINFOHEADER fields.
inline constexpr std::size_t kInfoHeaderBytes = 40;
inline constexpr std::size_t kInfoWidthOffset = 4;
inline constexpr std::size_t kInfoHeightOffset = 8;
inline constexpr std::size_t kInfoPlanesOffset = 12;
inline constexpr std::size_t kInfoBitCountOffset = 14;
inline constexpr std::size_t kInfoCompressionOffset = 16;
inline constexpr std::size_t kInfoColoursUsedOffset = 32;

inline constexpr std::uint32_t kCompressionRgb = 0;
inline constexpr std::uint32_t kCompressionBitfields = 3;
inline constexpr std::size_t kBitfieldMaskBytes = 12;
inline constexpr std::size_t kColourEntryBytes = 4;

// A bitmap record whose parts all lie inside it.
struct DibRecord {
    std::uint16_t iconHeight;
    std::uint16_t iconWidth;
    const std::uint8_t* header;  // kInfoHeaderBytes
    std::int32_t bitmapWidth;    // > 0
    std::int32_t bitmapHeight;   // > 0, bottom-up
    std::uint16_t bitCount;      // 1, 4, 8, 16, 24 or 32
    std::uint32_t compression;   // kCompressionRgb or kCompressionBitfields
    // What the platform reads after the header: the three colour masks of a
    // bit-field bitmap, or the palette of one with 8 bits per pixel or fewer
    // (never more entries than the bit count can index). Empty otherwise.
    const std::uint8_t* colourTable;
    std::size_t colourTableBytes;
    std::uint32_t paletteEntries;  // colourTableBytes / 4 for a palette, else 0
    const std::uint8_t* bits;
    std::size_t bitsBytes;  // exactly the rows of the bitmap
};

enum class RecordKind {
    kOther,      // a record of another function: passed over
    kBitmap,     // one of the two bitmap records, checked
    kMalformed,  // cut short, or a bitmap that cannot be read safely
};

struct MetaRecord {
    RecordKind kind;
    std::size_t bytes;  // the record's size from its size field (kOther, kBitmap)
    DibRecord dib;      // kBitmap only
};

// Reads the record at record, of which available bytes remain in the metafile.
// Bitmaps other than uncompressed or bit-field ones with a 40-byte header,
// one plane and a positive width and height count as malformed: their bits
// cannot be measured from the header.
[[nodiscard]] MetaRecord ParseMetaRecord(const std::uint8_t* record, std::size_t available) noexcept;

}  // namespace vtls::icons
