#include "icons/portable/metafile_dib_record.h"

#include "base/portable/byte_order.h"

namespace vtls::icons {
namespace {

using itemid::LoadI32;
using itemid::LoadU16;
using itemid::LoadU32;

constexpr MetaRecord kMalformed{RecordKind::kMalformed, 0, {}};

struct Layout {
    std::size_t heightOffset;
    std::size_t widthOffset;
    std::size_t dibOffset;
};

[[nodiscard]] bool KnownBitCount(std::uint16_t bits) noexcept {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

// Bytes of the colour table as the record lays it out, and the part of it the
// platform reads; false when the header's format is not one that is accepted.
[[nodiscard]] bool MeasureColourTable(DibRecord& dib, std::uint32_t coloursUsed,
                                      std::uint64_t* layoutBytes) noexcept {
    if (dib.compression == kCompressionBitfields) {
        if (dib.bitCount != 16 && dib.bitCount != 32) {
            return false;
        }
        // GDI writes 16- and 32-bit bitmaps this way: three colour masks stand
        // where the table stands, and the rows follow them.
        *layoutBytes = kBitfieldMaskBytes + std::uint64_t{coloursUsed} * kColourEntryBytes;
        dib.colourTableBytes = kBitfieldMaskBytes;
        return true;
    }
    if (dib.compression != kCompressionRgb) {
        return false;
    }
    if (dib.bitCount > 8) {
        *layoutBytes = std::uint64_t{coloursUsed} * kColourEntryBytes;
        return true;
    }
    const std::uint32_t indexable = 1u << dib.bitCount;
    const std::uint32_t entries = coloursUsed != 0 ? coloursUsed : indexable;
    *layoutBytes = std::uint64_t{entries} * kColourEntryBytes;
    dib.paletteEntries = entries < indexable ? entries : indexable;
    dib.colourTableBytes = std::size_t{dib.paletteEntries} * kColourEntryBytes;
    return true;
}

// The header, table and bits of a bitmap record of size bytes.
[[nodiscard]] bool ReadDib(const std::uint8_t* record, std::size_t size, const Layout& layout,
                           DibRecord& dib) noexcept {
    if (size < layout.dibOffset + kInfoHeaderBytes) {
        return false;
    }
    const std::uint8_t* header = record + layout.dibOffset;
    dib.iconHeight = LoadU16(record + layout.heightOffset);
    dib.iconWidth = LoadU16(record + layout.widthOffset);
    dib.header = header;
    dib.bitmapWidth = LoadI32(header + kInfoWidthOffset);
    dib.bitmapHeight = LoadI32(header + kInfoHeightOffset);
    dib.bitCount = LoadU16(header + kInfoBitCountOffset);
    dib.compression = LoadU32(header + kInfoCompressionOffset);
    if (LoadU32(header) != kInfoHeaderBytes || LoadU16(header + kInfoPlanesOffset) != 1 || dib.bitmapWidth <= 0 ||
        dib.bitmapHeight <= 0 || !KnownBitCount(dib.bitCount)) {
        return false;
    }
    std::uint64_t tableBytes = 0;
    if (!MeasureColourTable(dib, LoadU32(header + kInfoColoursUsedOffset), &tableBytes)) {
        return false;
    }
    std::size_t remaining = size - layout.dibOffset - kInfoHeaderBytes;
    if (tableBytes > remaining) {
        return false;
    }
    dib.colourTable = header + kInfoHeaderBytes;
    remaining -= static_cast<std::size_t>(tableBytes);
    // Rows are padded to 32 bits; checked by division, as the product of a
    // hostile width and height need not fit any integer.
    const std::uint64_t width = static_cast<std::uint32_t>(dib.bitmapWidth);
    const std::uint64_t rowBytes = (width * dib.bitCount + 31) / 32 * 4;
    const auto rows = static_cast<std::uint64_t>(dib.bitmapHeight);
    if (rowBytes > remaining || rows > remaining / rowBytes) {
        return false;
    }
    dib.bits = dib.colourTable + tableBytes;
    dib.bitsBytes = static_cast<std::size_t>(rowBytes * rows);
    return true;
}

}  // namespace

MetaRecord ParseMetaRecord(const std::uint8_t* record, std::size_t available) noexcept {
    if (record == nullptr || available < kRecordHeaderBytes) {
        return kMalformed;
    }
    const std::uint64_t bytes = std::uint64_t{LoadU32(record + kRecordSizeOffset)} * 2;
    if (bytes < kRecordHeaderBytes || bytes > available) {
        return kMalformed;
    }
    const auto size = static_cast<std::size_t>(bytes);
    const std::uint16_t function = LoadU16(record + kRecordFunctionOffset);
    if (function != kMetaDibBitBlt && function != kMetaDibStretchBlt) {
        return MetaRecord{RecordKind::kOther, size, {}};
    }
    const Layout layout = function == kMetaDibBitBlt
                              ? Layout{kBitBltHeightOffset, kBitBltWidthOffset, kBitBltDibOffset}
                              : Layout{kStretchBltHeightOffset, kStretchBltWidthOffset, kStretchBltDibOffset};
    MetaRecord parsed{RecordKind::kBitmap, size, {}};
    if (!ReadDib(record, size, layout, parsed.dib)) {
        return kMalformed;
    }
    return parsed;
}

}  // namespace vtls::icons
