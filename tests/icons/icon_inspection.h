// Icons in the tests: read back (their size, whether they are monochrome, which
// image of the fixture DLL they were made from, told by the colour they draw),
// and drawn into metafile pictures as an application puts an icon into one: the
// mask drawn with SRCAND, then the colour image with SRCINVERT, each from a
// bitmap selected into a memory DC. StretchBlt to a destination of another size
// records META_DIBSTRETCHBLT (0x0B41), which carries the source's whole bitmap.
#pragma once

#include <windows.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "fixture/fixture_colours.h"
#include "icons/icon_owners.h"
#include "support/child_process.h"

namespace vtls::test {

// Whether the tests run under Wine, for the few facts where Wine is known to
// differ from Windows.
inline bool RunningUnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A 32-bit top-down DIB of the size.
inline BITMAPINFO DibInfo(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    return info;
}

inline std::wstring IconFixturePath() { return ProgramFolder() + L"\\vtls_icon_fixture.dll"; }

struct IconShape {
    int width = 0;
    int height = 0;
    bool monochrome = false;  // no colour bitmap: the mask carries both halves
};

inline IconShape ShapeOf(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return {};
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    const bool monochrome = info.hbmColor == nullptr;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return {bitmap.bmWidth, monochrome ? bitmap.bmHeight / 2 : bitmap.bmHeight, monochrome};
}

// The colour (0xRRGGBB) the icon draws at (x, y) when drawn at its own size over grey.
inline std::optional<std::uint32_t> ColourAt(HICON icon, int x, int y) {
    const IconShape shape = ShapeOf(icon);
    const UniqueScreenDC screen(GetDC(nullptr));
    const UniqueResource<HDC, DeleteDC> dc(CreateCompatibleDC(screen.get()));
    const UniqueBitmap canvas(CreateCompatibleBitmap(screen.get(), shape.width, shape.height));
    const HGDIOBJ old = SelectObject(dc.get(), canvas.get());
    SelectObject(dc.get(), GetStockObject(GRAY_BRUSH));
    const bool drawn = PatBlt(dc.get(), 0, 0, shape.width, shape.height, PATCOPY) &&
                       DrawIconEx(dc.get(), 0, 0, icon, shape.width, shape.height, 0, nullptr, DI_NORMAL);
    const COLORREF colour = GetPixel(dc.get(), x, y);
    SelectObject(dc.get(), old);
    if (!drawn || colour == CLR_INVALID) return std::nullopt;
    return std::uint32_t{GetRValue(colour)} << 16 | GetGValue(colour) << 8 | GetBValue(colour);
}

// An image of the fixture DLL: its group (0: id 1, 1: id 2, 2: "FolderIcon"),
// size in pixels and colour depth.
struct FixtureImage {
    int group = -1;
    int size = 0;
    int depth = 0;
};

// Which image an icon was made from, by the colour at its centre; group -1
// when its colour is none of them.
inline FixtureImage IdentifyImage(HICON icon) {
    const IconShape shape = ShapeOf(icon);
    const auto colour = ColourAt(icon, shape.width / 2, shape.height / 2);
    for (int group = 0; colour && group < icon_fixture::kGroupCount; ++group) {
        for (int s = 0; s < icon_fixture::kSizeCount; ++s) {
            for (int depth : icon_fixture::kDepths) {
                const icon_fixture::Rgb c = icon_fixture::ImageColour(group, s, depth);
                if (*colour == (std::uint32_t{c.r} << 16 | c.g << 8 | c.b)) {
                    return {group, icon_fixture::kSizes[s], depth};
                }
            }
        }
    }
    return {};
}

// A monochrome bitmap whose bytes all hold pattern (eight pixels, the first in the high bit).
inline UniqueBitmap MonoBitmap(int width, int height, std::uint8_t pattern) {
    const std::vector<std::uint8_t> bits(static_cast<std::size_t>((width + 15) / 16 * 2 * height), pattern);
    return UniqueBitmap(CreateBitmap(width, height, 1, 1, bits.data()));
}

// A 32-bit DIB section whose pixels all differ.
inline std::uint32_t Gradient(int x, int y) { return 0x00400000u | static_cast<std::uint32_t>(x * 4) << 8 | (y * 4u); }
inline UniqueBitmap ColourBitmap(int width, int height) {
    const BITMAPINFO info = DibInfo(width, height);
    void* bits = nullptr;
    UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    for (int i = 0; bits != nullptr && i < width * height; ++i) {
        static_cast<std::uint32_t*>(bits)[i] = Gradient(i % width, i / width);
    }
    return bitmap;
}

using Draws = std::initializer_list<std::pair<HBITMAP, DWORD>>;

// Each bitmap drawn whole at twice its size with its raster operation; with
// others, records that draw no bitmap and META_STRETCHDIB (0x0F43), which
// extraction passes over, come first and after each bitmap.
inline HMETAFILE RecordMetafile(Draws draws, bool others = false) {
    const HDC metafile = CreateMetaFileW(nullptr);
    const UniqueResource<HDC, DeleteDC> source(CreateCompatibleDC(nullptr));
    const auto drawOthers = [&] {
        if (!others) return;
        Rectangle(metafile, 0, 0, 10, 10);
        const BITMAPINFO info = DibInfo(8, 8);
        const std::vector<std::uint32_t> bits(64, 0x00FF00FF);
        StretchDIBits(metafile, 0, 0, 8, 8, 0, 0, 8, 8, bits.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    };
    drawOthers();
    for (const auto& [bitmap, rop] : draws) {
        BITMAP size{};
        GetObjectW(bitmap, sizeof(size), &size);
        const HGDIOBJ old = SelectObject(source.get(), bitmap);
        StretchBlt(metafile, 0, 0, size.bmWidth * 2, size.bmHeight * 2, source.get(), 0, 0, size.bmWidth,
                   size.bmHeight, rop);
        SelectObject(source.get(), old);
        drawOthers();
    }
    return CloseMetaFile(metafile);
}

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

inline OwnedPicture Picture(Draws draws, bool others = false) {
    return OwnedPicture(WrapPicture(RecordMetafile(draws, others)));
}

}  // namespace vtls::test
