// Metafile pictures drawn with GDI for the tests, as an application puts an
// icon into one: the mask drawn with SRCAND, then the colour image with
// SRCINVERT, each from a bitmap selected into a memory DC. StretchBlt with a
// destination of another size records META_DIBSTRETCHBLT (0x0B41); BitBlt
// records META_DIBBITBLT (0x0940). Each record carries the source's whole
// bitmap.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace vtls::test {

enum class Blit { kStretch, kBitBlt };

// A source bitmap: monochrome (1 bit per pixel) or a 32-bit DIB section, each
// pixel from pixel(x, y) (for a monochrome one: 0 black, else white).
class SourceBitmap {
public:
    template <typename Pixel>
    SourceBitmap(int width, int height, bool monochrome, Pixel pixel) : width_(width), height_(height) {
        if (monochrome) {
            const int rowBytes = (width + 15) / 16 * 2;
            std::vector<std::uint8_t> bits(static_cast<std::size_t>(rowBytes * height), 0);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    if (pixel(x, y) != 0) {
                        const auto bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
                        bits[static_cast<std::size_t>(y * rowBytes + x / 8)] |= bit;
                    }
                }
            }
            bitmap_ = CreateBitmap(width, height, 1, 1, bits.data());
            return;
        }
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        if (bitmap_ != nullptr) {
            auto* pixels = static_cast<std::uint32_t*>(bits);
            for (int y = 0; y < height; ++y) {
                for (int x = 0; x < width; ++x) {
                    pixels[y * width + x] = pixel(x, y);
                }
            }
        }
    }
    ~SourceBitmap() {
        if (bitmap_ != nullptr) {
            DeleteObject(bitmap_);
        }
    }
    SourceBitmap(const SourceBitmap&) = delete;
    SourceBitmap& operator=(const SourceBitmap&) = delete;

    [[nodiscard]] HBITMAP get() const { return bitmap_; }
    [[nodiscard]] int width() const { return width_; }
    [[nodiscard]] int height() const { return height_; }

private:
    HBITMAP bitmap_ = nullptr;
    int width_;
    int height_;
};

// A picture being recorded; Finish() hands out the global memory block (owned
// by the caller: see OwnedPicture).
class PictureRecorder {
public:
    PictureRecorder() : metafile_(CreateMetaFileW(nullptr)), source_(CreateCompatibleDC(nullptr)) {}
    ~PictureRecorder() {
        if (metafile_ != nullptr) {
            DeleteMetaFile(CloseMetaFile(metafile_));
        }
        DeleteDC(source_);
    }
    PictureRecorder(const PictureRecorder&) = delete;
    PictureRecorder& operator=(const PictureRecorder&) = delete;

    // Draws the source's (x, y, width, height) part with rop.
    bool Draw(Blit blit, const SourceBitmap& source, DWORD rop, int x = 0, int y = 0, int width = -1,
              int height = -1) {
        width = width < 0 ? source.width() : width;
        height = height < 0 ? source.height() : height;
        const HGDIOBJ old = SelectObject(source_, source.get());
        const BOOL drawn = blit == Blit::kStretch
                               ? StretchBlt(metafile_, 0, 0, width * 2, height * 2, source_, x, y, width, height, rop)
                               : BitBlt(metafile_, 0, 0, width, height, source_, x, y, rop);
        SelectObject(source_, old);
        return drawn != FALSE;
    }
    // Records that draw no bitmap, which extraction passes over.
    void DrawOther() {
        SetBkColor(metafile_, RGB(1, 2, 3));
        Rectangle(metafile_, 0, 0, 10, 10);
        MoveToEx(metafile_, 1, 1, nullptr);
        LineTo(metafile_, 5, 5);
    }
    // META_STRETCHDIB (0x0F43), a bitmap record of another kind.
    void DrawStretchDib(int width, int height) {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        const std::vector<std::uint32_t> bits(static_cast<std::size_t>(width * height), 0x00FF00FF);
        StretchDIBits(metafile_, 0, 0, width, height, 0, 0, width, height, bits.data(), &info, DIB_RGB_COLORS,
                      SRCCOPY);
    }

    [[nodiscard]] HMETAFILE FinishMetafile() {
        const HMETAFILE done = CloseMetaFile(metafile_);
        metafile_ = nullptr;
        return done;
    }
    [[nodiscard]] HGLOBAL Finish() { return Wrap(FinishMetafile()); }

    // A metafile picture block (movable global memory, as OLE passes them) around metafile.
    static HGLOBAL Wrap(HMETAFILE metafile) {
        HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, sizeof(METAFILEPICT));
        auto* picture = static_cast<METAFILEPICT*>(GlobalLock(block));
        if (picture == nullptr) {
            return nullptr;
        }
        *picture = METAFILEPICT{MM_ANISOTROPIC, 1000, 1000, metafile};
        GlobalUnlock(block);
        return block;
    }

private:
    HDC metafile_;
    HDC source_;
};

// Frees a test picture and its metafile with the platform alone.
class OwnedPicture {
public:
    explicit OwnedPicture(HGLOBAL block) : block_(block) {}
    ~OwnedPicture() {
        if (block_ == nullptr) {
            return;
        }
        if (const auto* picture = static_cast<const METAFILEPICT*>(GlobalLock(block_))) {
            DeleteMetaFile(picture->hMF);
            GlobalUnlock(block_);
        }
        GlobalFree(block_);
    }
    OwnedPicture(const OwnedPicture&) = delete;
    OwnedPicture& operator=(const OwnedPicture&) = delete;

    [[nodiscard]] HGLOBAL get() const { return block_; }
    [[nodiscard]] HMETAFILE metafile() const {
        const auto* picture = static_cast<const METAFILEPICT*>(GlobalLock(block_));
        const HMETAFILE metafile = picture != nullptr ? picture->hMF : nullptr;
        GlobalUnlock(block_);
        return metafile;
    }

private:
    HGLOBAL block_;
};

// The metafile's bytes, and a new metafile made from bytes (for records edited
// by hand).
inline std::vector<std::uint8_t> MetafileBytes(HMETAFILE metafile) {
    std::vector<std::uint8_t> bytes(GetMetaFileBitsEx(metafile, 0, nullptr));
    GetMetaFileBitsEx(metafile, static_cast<UINT>(bytes.size()), bytes.data());
    return bytes;
}

inline HMETAFILE MetafileFromBytes(const std::vector<std::uint8_t>& bytes) {
    return SetMetaFileBitsEx(static_cast<UINT>(bytes.size()), bytes.data());
}

// Offsets of the records with function number function in a metafile's bytes.
inline std::vector<std::size_t> FindRecords(const std::vector<std::uint8_t>& bytes, std::uint16_t function) {
    std::vector<std::size_t> found;
    std::size_t at = sizeof(METAHEADER);
    while (at + 6 <= bytes.size()) {
        std::uint32_t words = 0;
        std::uint16_t number = 0;
        std::memcpy(&words, bytes.data() + at, 4);
        std::memcpy(&number, bytes.data() + at + 4, 2);
        if (number == 0 || words < 3) {
            break;
        }
        if (number == function) {
            found.push_back(at);
        }
        at += std::size_t{words} * 2;
    }
    return found;
}

inline void PutWord(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value) {
    std::memcpy(bytes.data() + at, &value, 2);
}

}  // namespace vtls::test
