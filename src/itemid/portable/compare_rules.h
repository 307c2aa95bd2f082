// The namespace's order of item identifier lists, in the form that
// IShellFolder::CompareIDs answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "base/portable/result_codes.h"

namespace vtls::itemid {

// Lists of this many bytes or more are refused.
inline constexpr std::size_t kComparableListLimit = 32767;

// The comparison results: 0xFFFF when the first list sorts before the second.
inline constexpr result::Code kSortsBefore = 0xFFFF;
inline constexpr result::Code kSortsEqual = 0;
inline constexpr result::Code kSortsAfter = 1;

// A name as it lies in an item: UTF-16 code units at any alignment. `terminated`
// says whether its zero character lies inside the item, that is whether
// chars[length] may be read as that zero.
struct NameView {
    const std::uint8_t* chars;
    std::size_t length;
    bool terminated;
};

// Case-insensitive name order: negative, zero or positive.
using NameCompare = int (*)(const NameView& a, const NameView& b) noexcept;

// The validation walk. `isReadable(n)` tells whether the list's first n bytes can be
// read; it is asked before every size field is read. Gives the list size, or
// nothing when the list is unreadable or reaches the limit.
template <typename IsReadable>
[[nodiscard]] std::optional<std::size_t> ComparableListSize(const std::uint8_t* list,
                                                            IsReadable&& isReadable) noexcept;

// Whether names with the same code units are answered without asking the name
// order. Any order answers zero for them, so both ways give the same result;
// kAskAlways is there to check that.
enum class SameNames {
    kEqualWithoutAsking,
    kAskAlways,
};

// Compares two lists that passed the validation walk and hold at least one item.
[[nodiscard]] result::Code CompareValidLists(const std::uint8_t* a, const std::uint8_t* b, NameCompare compareNames,
                                             SameNames sameNames = SameNames::kEqualWithoutAsking) noexcept;

// --- implementation -------------------------------------------------------

template <typename IsReadable>
std::optional<std::size_t> ComparableListSize(const std::uint8_t* list, IsReadable&& isReadable) noexcept {
    std::size_t total = 0;
    for (;;) {
        if (!isReadable(total + 2)) {
            return std::nullopt;
        }
        const std::uint16_t cb = static_cast<std::uint16_t>(list[total] | (list[total + 1] << 8));
        if (cb == 0) {
            return total;
        }
        total += cb;
        if (total >= kComparableListLimit) {
            return std::nullopt;
        }
    }
}

}  // namespace vtls::itemid
