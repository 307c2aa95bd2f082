#include "icon_file.h"

#include <cstdio>

namespace vtls::tool {
namespace {

constexpr std::size_t kIconDirBytes = 6;
constexpr std::size_t kIconDirEntryBytes = 16;

// The bitmaps GetIconInfo hands out, which the caller must delete.
struct IconBitmaps {
    ICONINFO info{};
    bool valid = false;
    explicit IconBitmaps(HICON icon) { valid = icon != nullptr && GetIconInfo(icon, &info) != FALSE; }
    ~IconBitmaps() {
        if (valid) {
            DeleteObject(info.hbmMask);
            if (info.hbmColor != nullptr) {
                DeleteObject(info.hbmColor);
            }
        }
    }
    IconBitmaps(const IconBitmaps&) = delete;
    IconBitmaps& operator=(const IconBitmaps&) = delete;
};

struct ScreenDC {
    HDC dc = GetDC(nullptr);
    ~ScreenDC() { ReleaseDC(nullptr, dc); }
};

void Put16(std::vector<std::uint8_t>& out, std::uint32_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    Put16(out, value & 0xFFFF);
    Put16(out, value >> 16);
}

// Rows of bitmap, bottom-up, at bitCount bits per pixel (1 or 32).
bool ReadRows(HDC dc, HBITMAP bitmap, int width, int rows, WORD bitCount, std::vector<std::uint8_t>& out) {
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info{};
    info.header.biSize = sizeof(info.header);
    info.header.biWidth = width;
    info.header.biHeight = rows;
    info.header.biPlanes = 1;
    info.header.biBitCount = bitCount;
    const std::size_t rowBytes = static_cast<std::size_t>((width * bitCount + 31) / 32 * 4);
    out.assign(rowBytes * static_cast<std::size_t>(rows), 0);
    return GetDIBits(dc, bitmap, 0, static_cast<UINT>(rows), out.data(), reinterpret_cast<BITMAPINFO*>(&info),
                     DIB_RGB_COLORS) == rows;
}

}  // namespace

IconSize SizeOfIcon(HICON icon) {
    const IconBitmaps bitmaps(icon);
    if (!bitmaps.valid) {
        return {};
    }
    BITMAP description{};
    const bool colour = bitmaps.info.hbmColor != nullptr;
    GetObjectW(colour ? bitmaps.info.hbmColor : bitmaps.info.hbmMask, sizeof(description), &description);
    return {description.bmWidth, colour ? description.bmHeight : description.bmHeight / 2};
}

std::vector<std::uint8_t> IconFileBytes(HICON icon) {
    const IconSize size = SizeOfIcon(icon);
    const IconBitmaps bitmaps(icon);
    if (!bitmaps.valid || size.width <= 0 || size.height <= 0 || size.width > 256 || size.height > 256) {
        return {};
    }
    const ScreenDC screen;
    std::vector<std::uint8_t> colour;
    std::vector<std::uint8_t> mask;
    const bool monochrome = bitmaps.info.hbmColor == nullptr;
    if (monochrome) {
        // One bitmap of twice the height: the AND rows on top, the XOR rows below.
        std::vector<std::uint8_t> both;
        if (!ReadRows(screen.dc, bitmaps.info.hbmMask, size.width, size.height * 2, 1, both)) {
            return {};
        }
        const std::size_t half = both.size() / 2;  // bottom-up: the XOR rows come first
        mask.assign(both.begin() + static_cast<std::ptrdiff_t>(half), both.end());
        const std::size_t rowBytes = half / static_cast<std::size_t>(size.height);
        colour.reserve(static_cast<std::size_t>(size.width * size.height * 4));
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                const bool white = (both[static_cast<std::size_t>(y) * rowBytes + static_cast<std::size_t>(x / 8)] >>
                                    (7 - x % 8)) & 1;
                const std::uint8_t value = white ? 0xFF : 0x00;
                colour.insert(colour.end(), {value, value, value, 0});
            }
        }
    } else if (!ReadRows(screen.dc, bitmaps.info.hbmColor, size.width, size.height, 32, colour) ||
               !ReadRows(screen.dc, bitmaps.info.hbmMask, size.width, size.height, 1, mask)) {
        return {};
    }
    // Without any alpha the image is opaque wherever the mask says so.
    bool anyAlpha = false;
    for (std::size_t i = 3; i < colour.size(); i += 4) {
        anyAlpha = anyAlpha || colour[i] != 0;
    }
    if (!anyAlpha) {
        const std::size_t maskRow = static_cast<std::size_t>((size.width + 31) / 32 * 4);
        for (int y = 0; y < size.height; ++y) {
            for (int x = 0; x < size.width; ++x) {
                const bool clear = (mask[static_cast<std::size_t>(y) * maskRow + static_cast<std::size_t>(x / 8)] >>
                                    (7 - x % 8)) & 1;
                colour[(static_cast<std::size_t>(y) * static_cast<std::size_t>(size.width) +
                        static_cast<std::size_t>(x)) * 4 + 3] = clear ? 0 : 0xFF;
            }
        }
    }
    const auto imageBytes = static_cast<std::uint32_t>(40 + colour.size() + mask.size());
    std::vector<std::uint8_t> out;
    Put16(out, 0);
    Put16(out, 1);  // icons
    Put16(out, 1);
    out.push_back(static_cast<std::uint8_t>(size.width));  // 256 is written as 0
    out.push_back(static_cast<std::uint8_t>(size.height));
    out.push_back(0);
    out.push_back(0);
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, imageBytes);
    Put32(out, static_cast<std::uint32_t>(kIconDirBytes + kIconDirEntryBytes));
    Put32(out, 40);
    Put32(out, static_cast<std::uint32_t>(size.width));
    Put32(out, static_cast<std::uint32_t>(size.height * 2));
    Put16(out, 1);
    Put16(out, 32);
    Put32(out, 0);
    Put32(out, static_cast<std::uint32_t>(colour.size() + mask.size()));
    for (int i = 0; i < 4; ++i) {
        Put32(out, 0);
    }
    out.insert(out.end(), colour.begin(), colour.end());
    out.insert(out.end(), mask.begin(), mask.end());
    return out;
}

bool WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = _wfopen(path.c_str(), L"wb");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace vtls::tool
