// An item identifier list as it crosses a process boundary, the list argument of
// IItemObjectFactory::CreateItemObject. A list carries no size of its own, so the
// sender walks it and writes the size in front:
//
//   0  count  u32    bytes that follow: 0 for no list, else the whole list with
//                    its terminator
//   4  list   count  the items, then the 16-bit zero
//
// What arrives is checked before anything of it is used: the count must lie in
// the bytes received and the items, each at least its own size field, must end
// with the terminator exactly at the count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vtls::ns {

inline constexpr std::size_t kWireHeaderSize = 4;

// Bytes of the wire form of a list the process holds itself (null: no list).
[[nodiscard]] std::size_t WireSize(const std::uint8_t* list) noexcept;

// Writes the wire form of a list (null: no list) and returns the end.
std::uint8_t* WriteWire(std::uint8_t* out, const std::uint8_t* list) noexcept;

struct WireList {
    const std::uint8_t* list;  // inside the wire bytes; null for no list
    std::size_t listBytes;     // with the terminator; 0 for no list
    std::size_t wireBytes;     // what the wire form occupies
};

// Reads the wire form from the first `available` bytes; nothing if it is not a
// well-formed list that lies wholly inside them.
[[nodiscard]] std::optional<WireList> ReadWire(const std::uint8_t* wire, std::size_t available) noexcept;

}  // namespace vtls::ns
