#include "channel/portable/content_message.h"

#include <cstring>

#include "base/portable/byte_order.h"
#include "itemid/portable/cida_layout.h"
#include "itemid/portable/id_list.h"

namespace vtls::channel {

std::optional<ContentRequestView> ParseContentRequest(const std::uint8_t* data, std::size_t size) noexcept {
    if (data == nullptr || size < kRequestListOffset + 2) {
        return std::nullopt;
    }
    const std::uint8_t* list = data + kRequestListOffset;
    const auto listSize = itemid::BoundedListSize(list, size - kRequestListOffset);
    if (!listSize) {
        return std::nullopt;
    }
    return ContentRequestView{itemid::LoadU32(data + kRequestValueOffset), *listSize == 0 ? nullptr : list};
}

void WriteContentRequest(std::uint8_t* out, std::uint32_t value, const std::uint8_t* list,
                         std::size_t listSize) noexcept {
    std::memset(out, 0, ContentRequestSize(listSize));
    itemid::StoreU32(out + kRequestValueOffset, value);
    if (listSize != 0) {
        std::memcpy(out + kRequestListOffset, list, listSize);
    }
}

std::optional<std::size_t> PackedCidaSize(const std::uint8_t* block, std::size_t available) noexcept {
    // One walk over each list both checks it and measures it: a reply of a
    // thousand children is walked once here rather than once per question.
    if (block == nullptr || available < itemid::kCidaChildOffsets) {
        return std::nullopt;
    }
    const std::uint32_t count = itemid::LoadU32(block + itemid::kCidaCountOffset);
    if (count > (available - itemid::kCidaChildOffsets) / 4) {
        return std::nullopt;
    }
    // Children may all point at one list, so the sum is checked as it grows.
    std::size_t size = itemid::kCidaChildOffsets + 4 * static_cast<std::size_t>(count);
    const auto fits = [&](std::size_t offsetField) {
        const std::uint32_t offset = itemid::LoadU32(block + offsetField);
        if (offset >= available) {
            return false;
        }
        const auto listSize = itemid::BoundedListSize(block + offset, available - offset);
        if (!listSize) {
            return false;
        }
        const std::size_t bytes = *listSize + 2;
        if (bytes > available - size) {
            return false;
        }
        size += bytes;
        return true;
    };
    if (itemid::LoadU32(block + itemid::kCidaParentOffset) != 0 && !fits(itemid::kCidaParentOffset)) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        if (!fits(itemid::kCidaChildOffsets + 4 * static_cast<std::size_t>(i))) {
            return std::nullopt;
        }
    }
    return size;
}

bool ReplyAnswers(const std::uint8_t* reply, std::size_t size, const std::uint8_t* folder,
                  std::size_t folderSize) noexcept {
    if (!PackedCidaSize(reply, size)) {
        return false;
    }
    // The walk above showed the parent list terminated inside the block.
    const std::uint32_t parentOffset = itemid::LoadU32(reply + itemid::kCidaParentOffset);
    if (parentOffset == 0) {
        return folderSize == 0;
    }
    const std::uint8_t* parent = reply + parentOffset;
    return itemid::ListSize(parent) == folderSize && (folderSize == 0 || std::memcmp(parent, folder, folderSize) == 0);
}

}  // namespace vtls::channel
