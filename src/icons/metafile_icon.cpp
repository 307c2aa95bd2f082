// SHMetafilePictExtractIcon and SHDestroyMetafilePict: an icon drawn into a
// metafile picture as two bitmaps, the mask and then the colour image.
#include "icons/metafile_icon.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "VantrelSh.h"
#include "base/module_record.h"
#include "base/unique_resource.h"
#include "icons/portable/metafile_dib_record.h"
#include "itemid/shared_block.h"

namespace vtls {
namespace {

using icons::DibRecord;
using icons::MetaRecord;
using icons::RecordKind;

// A bitmap's rows in the device's own format, as GetBitmapBits gives them.
struct DeviceBits {
    UniqueGlobal block;
    BITMAP description = {};
};

// The header and the part of the colour table the platform reads, copied to
// aligned memory: inside a record the header may lie at any address.
struct AlignedBitmapInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

void CopyBitmapInfo(const DibRecord& dib, AlignedBitmapInfo* info) noexcept {
    std::memcpy(&info->header, dib.header, sizeof(info->header));
    std::memcpy(info->colours, dib.colourTable, dib.colourTableBytes);
    // Only what the platform reads is copied: a bit-field bitmap's masks, or a
    // palette, whose length biClrUsed then states; for other bitmaps it is 0.
    info->header.biClrUsed = dib.paletteEntries;
}

// The record's bitmap as a device bitmap, monochrome when asked for or when
// the bitmap has one bit per pixel, read back into movable global memory.
[[nodiscard]] bool ReadDeviceBits(HDC dc, const DibRecord& dib, bool monochrome, DeviceBits* out) noexcept {
    const UniqueBitmap bitmap(monochrome || dib.bitCount == 1
                                  ? CreateBitmap(dib.bitmapWidth, dib.bitmapHeight, 1, 1, nullptr)
                                  : CreateCompatibleBitmap(dc, dib.bitmapWidth, dib.bitmapHeight));
    if (!bitmap) {
        return false;
    }
    AlignedBitmapInfo info;
    CopyBitmapInfo(dib, &info);
    if (SetDIBits(dc, bitmap.get(), 0, static_cast<UINT>(dib.bitmapHeight), dib.bits,
                  reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS) == 0) {
        return false;
    }
    BITMAP& description = out->description;
    if (GetObjectW(bitmap.get(), sizeof(description), &description) != sizeof(description)) {
        return false;
    }
    const std::uint64_t bytes = std::uint64_t{description.bmPlanes} *
                                static_cast<std::uint64_t>(description.bmWidthBytes) *
                                static_cast<std::uint64_t>(description.bmHeight);
    if (bytes == 0 || bytes > MAXLONG) {
        return false;
    }
    out->block.reset(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, static_cast<SIZE_T>(bytes)));
    if (!out->block) {
        return false;
    }
    const GlobalLockScope lock(out->block.get());
    return lock.address() != nullptr &&
           GetBitmapBits(bitmap.get(), static_cast<LONG>(bytes), lock.address()) == static_cast<LONG>(bytes);
}

// The icon is as large as the second record's words say; it may not be larger
// than either bitmap, or CreateIcon would read past the rows they hold. An
// empty size makes no icon either.
[[nodiscard]] bool IconFits(int width, int height, const BITMAP& mask, const BITMAP& colour) noexcept {
    return width > 0 && height > 0 && width <= mask.bmWidth && height <= mask.bmHeight &&
           width <= colour.bmWidth && height <= colour.bmHeight;
}

[[nodiscard]] HICON MakeIcon(const DibRecord& dib, const DeviceBits& mask, const DeviceBits& colour) noexcept {
    if (!IconFits(dib.iconWidth, dib.iconHeight, mask.description, colour.description)) {
        return nullptr;
    }
    const GlobalLockScope andBits(mask.block.get());
    const GlobalLockScope xorBits(colour.block.get());
    if (andBits.address() == nullptr || xorBits.address() == nullptr) {
        return nullptr;
    }
    return CreateIcon(g_Module.instance, dib.iconWidth, dib.iconHeight,
                      static_cast<BYTE>(colour.description.bmPlanes), static_cast<BYTE>(colour.description.bmBitsPixel),
                      static_cast<const BYTE*>(andBits.address()), static_cast<const BYTE*>(xorBits.address()));
}

// Bytes of the metafile after its header, where the records lie. The platform
// takes only headers of this size.
static_assert(sizeof(METAHEADER) == 18);
[[nodiscard]] std::size_t RecordBytes(HMETAFILE metafile) noexcept {
    const UINT total = GetMetaFileBitsEx(metafile, 0, nullptr);
    return total > sizeof(METAHEADER) ? total - sizeof(METAHEADER) : 0;
}

}  // namespace

int CALLBACK ExtractIconMetaProc(HDC dc, HANDLETABLE*, METARECORD* record, int, LPARAM param) {
    auto& state = *reinterpret_cast<METAICONSTATE*>(param);
    const MetaRecord parsed = icons::ParseMetaRecord(reinterpret_cast<const std::uint8_t*>(record), state.remaining);
    if (parsed.kind == RecordKind::kMalformed) {
        state.maskBits.reset();
        return 0;
    }
    state.remaining -= parsed.bytes;
    if (parsed.kind == RecordKind::kOther) {
        return 1;
    }
    DeviceBits bits;
    if (!ReadDeviceBits(dc, parsed.dib, state.first != FALSE, &bits)) {
        state.maskBits.reset();
        return 0;
    }
    if (state.first) {
        state.maskBits = std::move(bits.block);
        state.mask = bits.description;
        state.first = FALSE;
        return 1;
    }
    DeviceBits mask;
    mask.block = std::move(state.maskBits);
    mask.description = state.mask;
    state.icon.reset(MakeIcon(parsed.dib, mask, bits));
    return 0;
}

}  // namespace vtls

extern "C" HICON WINAPI SHMetafilePictExtractIcon(HGLOBAL picture) {
    using namespace vtls;
    const SharedBlockView view(picture, nullptr);
    if (view.contents() == nullptr) {
        return nullptr;
    }
    METAICONSTATE state;
    // A block too small for a METAFILEPICT holds no metafile handle to read.
    if (GlobalSize(picture) >= sizeof(METAFILEPICT)) {
        const HMETAFILE metafile = static_cast<const METAFILEPICT*>(view.contents())->hMF;
        const UniqueScreenDC screen(GetDC(nullptr));
        if (screen) {
            state.remaining = RecordBytes(metafile);
            EnumMetaFile(screen.get(), metafile, ExtractIconMetaProc, reinterpret_cast<LPARAM>(&state));
        }
    }
    return state.icon.release();
}

extern "C" DWORD WINAPI SHDestroyMetafilePict(HGLOBAL picture) {
    if (picture == nullptr) {
        return 0;
    }
    {
        const vtls::GlobalLockScope locked(picture);
        if (locked.address() == nullptr) {
            return 0;
        }
        if (GlobalSize(picture) >= sizeof(METAFILEPICT)) {
            DeleteMetaFile(static_cast<const METAFILEPICT*>(locked.address())->hMF);
        }
    }
    // Freeing the caller's picture is this function's whole purpose.
    GlobalFree(picture);
    return 0;
}
