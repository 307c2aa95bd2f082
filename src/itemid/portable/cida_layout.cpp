#include "itemid/portable/cida_layout.h"

#include <cstring>

#include "base/portable/byte_order.h"
#include "itemid/portable/id_list.h"
#include "itemid/portable/item_layout.h"

namespace vtls::itemid {
namespace {

// Copies a list with its terminator to out + at; returns the offset after it.
std::size_t PutList(std::uint8_t* out, std::size_t at, const std::uint8_t* list) noexcept {
    const std::size_t bytes = ListSize(list) + kTerminatorSize;
    std::memcpy(out + at, list, bytes);
    return at + bytes;
}

}  // namespace

void WriteCida(std::uint8_t* out, const std::uint8_t* parent, std::uint32_t count,
               const std::uint8_t* const* children) noexcept {
    std::size_t at = kCidaChildOffsets + 4 * static_cast<std::size_t>(count);
    StoreU32(out + kCidaCountOffset, count);
    StoreU32(out + kCidaParentOffset, parent != nullptr ? static_cast<std::uint32_t>(at) : 0);
    if (parent != nullptr) {
        at = PutList(out, at, parent);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        StoreU32(out + kCidaChildOffsets + 4 * static_cast<std::size_t>(i), static_cast<std::uint32_t>(at));
        at = PutList(out, at, children[i]);
    }
}

std::optional<CidaView> CidaView::Parse(const std::uint8_t* block, std::size_t size) noexcept {
    if (block == nullptr || size < kCidaChildOffsets) {
        return std::nullopt;
    }
    const std::uint32_t count = LoadU32(block + kCidaCountOffset);
    if (count > (size - kCidaChildOffsets) / 4) {
        return std::nullopt;
    }
    const auto listInside = [&](std::size_t offsetField) {
        const std::uint32_t offset = LoadU32(block + offsetField);
        return offset < size && BoundedListSize(block + offset, size - offset).has_value();
    };
    if (LoadU32(block + kCidaParentOffset) != 0 && !listInside(kCidaParentOffset)) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!listInside(kCidaChildOffsets + 4 * static_cast<std::size_t>(i))) {
            return std::nullopt;
        }
    }
    return CidaView(block, count);
}

const std::uint8_t* CidaView::ListAt(std::size_t offsetField) const noexcept {
    return m_block + LoadU32(m_block + offsetField);
}

const std::uint8_t* CidaView::Parent() const noexcept {
    return LoadU32(m_block + kCidaParentOffset) == 0 ? nullptr : ListAt(kCidaParentOffset);
}

const std::uint8_t* CidaView::Child(std::uint32_t index) const noexcept {
    return index < m_count ? ListAt(kCidaChildOffsets + 4 * static_cast<std::size_t>(index)) : nullptr;
}

}  // namespace vtls::itemid
