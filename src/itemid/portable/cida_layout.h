// The CIDA block that carries a parent list and its children (the shell's
// "Shell IDList Array"): all numbers 32-bit little-endian.
//
//   0        count N
//   4        offset of the parent list, 0 when there is none
//   8        N offsets of the child lists, in the caller's order
//   8 + 4N   the parent list with its terminator, then each child with its
//            terminator, packed without padding
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vtls::itemid {

inline constexpr std::size_t kCidaCountOffset = 0;
inline constexpr std::size_t kCidaParentOffset = 4;
inline constexpr std::size_t kCidaChildOffsets = 8;

// Size of the block for a parent (if any) and count children, given the list sizes
// (without terminators) that `childSize(i)` reports. Nothing when it would not fit
// 32 bits.
template <typename ChildSize>
[[nodiscard]] std::optional<std::size_t> CidaSize(std::optional<std::size_t> parentSize, std::uint32_t count,
                                                  ChildSize&& childSize) noexcept;

// Writes the block into out, which holds CidaSize() bytes. The lists are measured
// again as they are copied; parent may be null.
void WriteCida(std::uint8_t* out, const std::uint8_t* parent, std::uint32_t count,
               const std::uint8_t* const* children) noexcept;

// A CIDA received from elsewhere, checked: the count, every offset and every list
// lie inside the bytes received, and every list is terminated there.
class CidaView {
public:
    [[nodiscard]] static std::optional<CidaView> Parse(const std::uint8_t* block, std::size_t size) noexcept;

    [[nodiscard]] std::uint32_t Count() const noexcept { return m_count; }
    // Null when the block names no parent.
    [[nodiscard]] const std::uint8_t* Parent() const noexcept;
    [[nodiscard]] const std::uint8_t* Child(std::uint32_t index) const noexcept;

private:
    CidaView(const std::uint8_t* block, std::uint32_t count) noexcept : m_block(block), m_count(count) {}
    [[nodiscard]] const std::uint8_t* ListAt(std::size_t offsetField) const noexcept;

    const std::uint8_t* m_block;
    std::uint32_t m_count;
};

// --- implementation -------------------------------------------------------

template <typename ChildSize>
std::optional<std::size_t> CidaSize(std::optional<std::size_t> parentSize, std::uint32_t count,
                                    ChildSize&& childSize) noexcept {
    constexpr std::uint64_t kLimit = 0xFFFFFFFFu;
    std::uint64_t total = kCidaChildOffsets + 4ull * count;
    if (parentSize) {
        total += *parentSize + 2;
    }
    for (std::uint32_t i = 0; i < count && total <= kLimit; ++i) {
        total += static_cast<std::uint64_t>(childSize(i)) + 2;
    }
    if (total > kLimit || total > static_cast<std::uint64_t>(SIZE_MAX)) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(total);
}

}  // namespace vtls::itemid
