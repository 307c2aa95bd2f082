// Metafile pictures drawn with GDI for the tests, as an application puts an
// icon into one: the mask drawn with SRCAND, then the colour image with
// SRCINVERT, each from a bitmap selected into a memory DC. StretchBlt to a
// destination of another size records META_DIBSTRETCHBLT (0x0B41), which
// carries the source's whole bitmap.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "icons/icon_inspection.h"
#include "icons/icon_owners.h"

namespace vtls::test {

// A monochrome bitmap (pixel 0 black, else white) or a 32-bit DIB section.
class SourceBitmap {
public:
    SourceBitmap(int width, int height, bool monochrome, const std::function<std::uint32_t(int, int)>& pixel)
        : width_(width), height_(height) {
        if (monochrome) {
            const int rowBytes = (width + 15) / 16 * 2;
            std::vector<std::uint8_t> bits(static_cast<std::size_t>(rowBytes * height), 0);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (pixel(x, y) != 0) bits[static_cast<std::size_t>(y * rowBytes + x / 8)] |= 0x80 >> (x % 8);
                }
            }
            bitmap_.reset(CreateBitmap(width, height, 1, 1, bits.data()));
            return;
        }
        const BITMAPINFO info = DibInfo(width, height);
        void* bits = nullptr;
        bitmap_.reset(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        for (int y = 0; bits != nullptr && y < height; ++y) {
            for (int x = 0; x < width; ++x) static_cast<std::uint32_t*>(bits)[y * width + x] = pixel(x, y);
        }
    }

    [[nodiscard]] HBITMAP get() const { return bitmap_.get(); }
    const int width_, height_;

private:
    UniqueBitmap bitmap_;
};

// A metafile picture block (movable global memory, as OLE passes them) around metafile.
inline HGLOBAL WrapPicture(HMETAFILE metafile) {
    const HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
    auto* picture = static_cast<METAFILEPICT*>(GlobalLock(block));
    if (picture == nullptr) return nullptr;
    *picture = METAFILEPICT{MM_ANISOTROPIC, 1000, 1000, metafile};
    GlobalUnlock(block);
    return block;
}

// Frees a test picture and its metafile with the platform alone.
inline void FreePicture(HGLOBAL block) noexcept {
    if (const auto* picture = static_cast<const METAFILEPICT*>(GlobalLock(block))) {
        DeleteMetaFile(picture->hMF);
        GlobalUnlock(block);
    }
    GlobalFree(block);
}
using OwnedPicture = UniqueResource<HGLOBAL, FreePicture>;

// A picture being recorded.
class PictureRecorder {
public:
    PictureRecorder() : metafile_(CreateMetaFileW(nullptr)), source_(CreateCompatibleDC(nullptr)) {}
    ~PictureRecorder() {
        if (metafile_ != nullptr) DeleteMetaFile(CloseMetaFile(metafile_));
    }
    PictureRecorder(const PictureRecorder&) = delete;
    PictureRecorder& operator=(const PictureRecorder&) = delete;

    // Draws the source's top left width by height pixels with rop (-1: the whole).
    PictureRecorder& Draw(const SourceBitmap& source, DWORD rop, int width = -1, int height = -1) {
        width = width < 0 ? source.width_ : width;
        height = height < 0 ? source.height_ : height;
        const HGDIOBJ old = SelectObject(source_.get(), source.get());
        StretchBlt(metafile_, 0, 0, width * 2, height * 2, source_.get(), 0, 0, width, height, rop);
        SelectObject(source_.get(), old);
        return *this;
    }
    // Records that draw no bitmap, and META_STRETCHDIB (0x0F43), which
    // extraction passes over.
    PictureRecorder& DrawOther() {
        SetBkColor(metafile_, RGB(1, 2, 3));
        Rectangle(metafile_, 0, 0, 10, 10);
        const BITMAPINFO info = DibInfo(8, 8);
        const std::vector<std::uint32_t> bits(64, 0x00FF00FF);
        StretchDIBits(metafile_, 0, 0, 8, 8, 0, 0, 8, 8, bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
        return *this;
    }
    [[nodiscard]] HMETAFILE FinishMetafile() { return CloseMetaFile(std::exchange(metafile_, nullptr)); }
    [[nodiscard]] HGLOBAL Finish() { return WrapPicture(FinishMetafile()); }

private:
    HDC metafile_;
    UniqueResource<HDC, DeleteDC> source_;
};

}  // namespace vtls::test
