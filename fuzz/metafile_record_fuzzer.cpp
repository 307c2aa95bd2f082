// Metafile records as a metafile picture from another process carries them:
// the input is the metafile's bytes after its header, walked record by record
// as the icon extraction walks them. Whatever a record claims, every part the
// parser hands out must lie inside the record, and the record inside the input.
// Seeds: records GDI wrote for small StretchBlt and BitBlt pictures (mask and
// colour bitmaps of 1, 4 and 32 bits per pixel) and a record of another kind.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "icons/portable/metafile_dib_record.h"

using namespace vtls::icons;

namespace {

bool Inside(const std::uint8_t* part, std::size_t bytes, const std::uint8_t* begin, const std::uint8_t* end) {
    return part >= begin && part <= end && bytes <= static_cast<std::size_t>(end - part);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::uint8_t> metafile(data, data + size);  // exact size: reads beyond trip ASan
    const std::uint8_t* at = metafile.data();
    std::size_t remaining = metafile.size();
    unsigned sum = 0;
    for (;;) {
        const MetaRecord record = ParseMetaRecord(at, remaining);
        if (record.kind == RecordKind::kMalformed) break;
        if (record.bytes < kRecordHeaderBytes || record.bytes > remaining) std::abort();
        const std::uint8_t* end = at + record.bytes;
        if (record.kind == RecordKind::kBitmap) {
            const DibRecord& dib = record.dib;
            if (!Inside(dib.header, kInfoHeaderBytes, at, end) ||
                !Inside(dib.colourTable, dib.colourTableBytes, at, end) || !Inside(dib.bits, dib.bitsBytes, at, end) ||
                dib.bitmapWidth <= 0 || dib.bitmapHeight <= 0) {
                std::abort();
            }
            const std::uint64_t width = static_cast<std::uint32_t>(dib.bitmapWidth);
            const std::uint64_t rowBytes = (width * dib.bitCount + 31) / 32 * 4;
            if (rowBytes * static_cast<std::uint64_t>(dib.bitmapHeight) != dib.bitsBytes) std::abort();
            if (dib.paletteEntries * kColourEntryBytes > dib.colourTableBytes) std::abort();
            // Read every byte handed out, as the platform will.
            for (std::size_t i = 0; i < dib.colourTableBytes; ++i) sum += dib.colourTable[i];
            for (std::size_t i = 0; i < dib.bitsBytes; ++i) sum += dib.bits[i];
        }
        at = end;
        remaining -= record.bytes;
    }
    volatile unsigned sink = sum;
    static_cast<void>(sink);
    return 0;
}
