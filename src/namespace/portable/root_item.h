// The root item: names a namespace extension by its class id. Offsets from the
// item's start, little-endian:
//
//   0  cb        u16  18
//   2  class id  16   the extension's class id, memory order
//
// Below it follow the extension's own items, which are not looked into here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vtls::ns {

inline constexpr std::size_t kRootItemSize = 18;
inline constexpr std::size_t kRootClassIdOffset = 2;
inline constexpr std::size_t kClassIdSize = 16;
// The item and the list's terminator.
inline constexpr std::size_t kRootListSize = kRootItemSize + 2;

// Writes the one-item list of a root item (kRootListSize bytes).
void WriteRootList(std::uint8_t* list, const std::uint8_t* classId) noexcept;

// Whether the list's first item has the root item's size. Reads two bytes.
[[nodiscard]] bool BeginsWithRootItem(const std::uint8_t* list) noexcept;

// How two lists that begin with root items order by those items alone.
enum class RootOrder {
    kBefore,        // the first list sorts first
    kEqual,
    kAfter,
    kCompareRests,  // same class id and both go deeper: the items below decide
};

// Class ids first, as unsigned bytes in memory order; then depth.
[[nodiscard]] RootOrder OrderByRootItems(const std::uint8_t* a, const std::uint8_t* b) noexcept;

}  // namespace vtls::ns
