// Lays out one item of the library's format, followed by the list terminator.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "itemid/portable/item_layout.h"

namespace vtls::itemid {

struct RealItemFields {
    const std::uint8_t* name;  // UTF-16 code units, unaligned; null for no name
    std::size_t nameChars;     // without the terminator
    std::int32_t type;
    const std::uint8_t* guid;  // 16 bytes
    std::uint32_t data;
    const std::uint8_t* extra;
    std::size_t extraBytes;
};

// Size of the item (its cb), or nothing when it would not fit the 16-bit size.
[[nodiscard]] std::optional<std::size_t> RealItemSize(std::size_t nameChars, std::size_t extraBytes) noexcept;

// out holds RealItemSize() + kTerminatorSize bytes. Bytes nobody reads are zero.
void WriteRealItem(std::uint8_t* out, std::size_t itemSize, const RealItemFields& fields) noexcept;

// out holds kFixedSize + kTerminatorSize bytes.
void WritePlaceholder(std::uint8_t* out, Kind kind, std::uint32_t value) noexcept;

}  // namespace vtls::itemid
