// An icon group resource (RT_GROUP_ICON) as a module stores it. Little-endian:
//   0  u16 reserved
//   2  u16 type, 1 for icons
//   4  u16 number of entries
//   6  the entries, 14 bytes each: u8 width, u8 height, u8 colours, u8 reserved,
//      u16 planes, u16 bits per pixel, u32 bytes of the image, u16 image id
// The platform's directory lookup walks every entry the count announces, so a
// group read from a file is checked against its resource size first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vtls::icons {

inline constexpr std::size_t kGroupHeaderBytes = 6;
inline constexpr std::size_t kGroupCountOffset = 4;
inline constexpr std::size_t kGroupEntryBytes = 14;

// Whether the header and every entry it announces lie inside size bytes.
[[nodiscard]] bool IconGroupDirectoryFits(const std::uint8_t* directory, std::size_t size) noexcept;

}  // namespace vtls::icons
