// Measuring item identifier lists: a sequence of items, each led by its 16-bit
// size, ended by a 16-bit zero.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vtls::itemid {

// Sum of the items' sizes, without the terminator; 0 for null or an empty list.
// For lists the process built itself: the walk trusts the sizes.
[[nodiscard]] std::size_t ListSize(const std::uint8_t* list) noexcept;

// The same for bytes received from elsewhere: the list and its terminator must lie
// within the first `available` bytes, else nothing.
[[nodiscard]] std::optional<std::size_t> BoundedListSize(const std::uint8_t* list,
                                                         std::size_t available) noexcept;

}  // namespace vtls::itemid
