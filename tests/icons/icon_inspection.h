// Reading icons back in the tests: their size, whether they are monochrome, and
// which image of the fixture DLL they were made from (told by the colour they draw).
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

#include "fixture/fixture_colours.h"
#include "support/child_process.h"

namespace vtls::test {

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
    bool valid = false;
};

inline IconShape ShapeOf(HICON icon) {
    ICONINFO info{};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return {};
    BITMAP bitmap{};
    GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
    const bool monochrome = info.hbmColor == nullptr;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return {bitmap.bmWidth, monochrome ? bitmap.bmHeight / 2 : bitmap.bmHeight, monochrome, true};
}

// The colour (0xRRGGBB) the icon draws at (x, y) when drawn at its own size over grey.
inline std::optional<std::uint32_t> ColourAt(HICON icon, int x, int y) {
    const IconShape shape = ShapeOf(icon);
    if (!shape.valid) return std::nullopt;
    const BITMAPINFO info = DibInfo(shape.width, shape.height);
    void* bits = nullptr;
    const HDC dc = CreateCompatibleDC(nullptr);
    const HBITMAP canvas = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::optional<std::uint32_t> colour;
    if (canvas != nullptr) {
        const HGDIOBJ old = SelectObject(dc, canvas);
        auto* pixels = static_cast<std::uint32_t*>(bits);
        for (int i = 0; i < shape.width * shape.height; ++i) pixels[i] = 0x00808080;
        if (DrawIconEx(dc, 0, 0, icon, shape.width, shape.height, 0, nullptr, DI_NORMAL)) {
            GdiFlush();
            colour = pixels[y * shape.width + x] & 0xFFFFFF;
        }
        SelectObject(dc, old);
        DeleteObject(canvas);
    }
    DeleteDC(dc);
    return colour;
}

// An image of the fixture DLL: its group (0: id 1, 1: id 2, 2: "FolderIcon"),
// size in pixels and colour depth.
struct FixtureImage {
    int group = -1;
    int size = 0;
    int depth = 0;
    bool operator==(const FixtureImage& other) const {
        return group == other.group && size == other.size && depth == other.depth;
    }
};

inline std::ostream& operator<<(std::ostream& out, const FixtureImage& image) {
    return out << "{group " << image.group << ", " << image.size << " px, " << image.depth << "-bit}";
}

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

// The fixture's groups in enumeration order: string names first, then integer
// ids ascending.
inline constexpr int kGroupAtIndex[icon_fixture::kGroupCount] = {2, 0, 1};

}  // namespace vtls::test
