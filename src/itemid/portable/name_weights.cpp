#include "itemid/portable/name_weights.h"

#include "base/portable/byte_order.h"

namespace vtls::itemid {
namespace {

// The code unit at index, or nothing past the name's end.
std::optional<std::uint32_t> UnitAt(const NameView& name, std::size_t index) noexcept {
    if (index >= name.length) {
        return std::nullopt;
    }
    return LoadU16(name.chars + 2 * index);
}

}  // namespace

std::optional<int> NameWeights::Compare(const NameView& a, const NameView& b) const noexcept {
    if (!m_usable) {
        return std::nullopt;
    }
    // Past the end, or a learnt character: nothing that follows can change the
    // weight of the character before it.
    const auto settled = [this](const NameView& name, std::size_t index) {
        const auto unit = UnitAt(name, index);
        return !unit || WeightOf(*unit) != 0;
    };
    for (std::size_t i = 0;; ++i) {
        const auto unitA = UnitAt(a, i);
        const auto unitB = UnitAt(b, i);
        if (!unitA && !unitB) {
            return std::nullopt;  // the same weights throughout: finer levels decide
        }
        const std::uint8_t weightA = unitA ? WeightOf(*unitA) : 0;
        const std::uint8_t weightB = unitB ? WeightOf(*unitB) : 0;
        if (!unitA) {
            // A ended, B goes on with a character that weighs: A is a prefix at
            // the first level.
            return weightB != 0 ? std::optional<int>(-1) : std::nullopt;
        }
        if (!unitB) {
            return weightA != 0 ? std::optional<int>(1) : std::nullopt;
        }
        if (weightA == 0 || weightB == 0) {
            // The same mark in both, after a learnt character and before one.
            const auto learntAt = [this](const NameView& name, std::size_t index) {
                return WeightOf(UnitAt(name, index).value_or(0)) != 0;
            };
            if (*unitA == *unitB && PassesOver(*unitA) && i > 0 && learntAt(a, i + 1) && learntAt(b, i + 1)) {
                continue;
            }
            return std::nullopt;
        }
        if (weightA != weightB) {
            if (!settled(a, i + 1) || !settled(b, i + 1)) {
                return std::nullopt;  // a mark that follows may change either weight
            }
            return weightA < weightB ? -1 : 1;
        }
    }
}

}  // namespace vtls::itemid
