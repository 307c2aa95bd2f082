// Icons written as .ico files, one 32-bit image each, as the tool saves the
// icons the library extracts.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vtls::tool {

// The bytes of an .ico file holding icon, or empty when its bitmaps cannot be
// read. A monochrome icon is written in full colour (black and white).
[[nodiscard]] std::vector<std::uint8_t> IconFileBytes(HICON icon);

// Width and height of the icon, 0 when it cannot be read.
struct IconSize {
    int width = 0;
    int height = 0;
};
[[nodiscard]] IconSize SizeOfIcon(HICON icon);

[[nodiscard]] bool WriteBytes(const std::wstring& path, const std::vector<std::uint8_t>& bytes);

}  // namespace vtls::tool
