// Little-endian fields at any alignment. Item identifiers are packed byte
// streams, so every field is read and written through these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vtls::itemid {

[[nodiscard]] inline std::uint16_t LoadU16(const std::uint8_t* at) noexcept {
    return static_cast<std::uint16_t>(at[0] | (at[1] << 8));
}

[[nodiscard]] inline std::uint32_t LoadU32(const std::uint8_t* at) noexcept {
    return static_cast<std::uint32_t>(at[0]) | (static_cast<std::uint32_t>(at[1]) << 8) |
           (static_cast<std::uint32_t>(at[2]) << 16) | (static_cast<std::uint32_t>(at[3]) << 24);
}

[[nodiscard]] inline std::int32_t LoadI32(const std::uint8_t* at) noexcept {
    return static_cast<std::int32_t>(LoadU32(at));
}

inline void StoreU16(std::uint8_t* at, std::uint16_t value) noexcept {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

inline void StoreU32(std::uint8_t* at, std::uint32_t value) noexcept {
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
    at[3] = static_cast<std::uint8_t>(value >> 24);
}

}  // namespace vtls::itemid
