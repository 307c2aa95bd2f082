#include "itemid/portable/item_builder.h"

#include <cstring>

#include "base/portable/byte_order.h"

namespace vtls::itemid {
namespace {

void WriteHeader(std::uint8_t* out, std::size_t itemSize, Kind kind) noexcept {
    std::memset(out, 0, itemSize + kTerminatorSize);
    StoreU16(out + kCbOffset, static_cast<std::uint16_t>(itemSize));
    StoreU32(out + kSignatureOffset, kSignature);
    StoreU32(out + kKindOffset, static_cast<std::uint32_t>(kind));
}

}  // namespace

std::optional<std::size_t> RealItemSize(std::size_t nameChars, std::size_t extraBytes) noexcept {
    if (nameChars > kMaxNameAndExtraBytes / 2) {
        return std::nullopt;
    }
    const std::size_t nameBytes = nameChars * 2;
    if (extraBytes > kMaxNameAndExtraBytes - nameBytes) {
        return std::nullopt;
    }
    return kFixedSize + nameBytes + extraBytes;
}

void WriteRealItem(std::uint8_t* out, std::size_t itemSize, const RealItemFields& fields) noexcept {
    WriteHeader(out, itemSize, Kind::kReal);
    StoreU32(out + kTypeOffset, static_cast<std::uint32_t>(fields.type));
    std::memcpy(out + kGuidOffset, fields.guid, kGuidSize);
    StoreU32(out + kDataOffset, fields.data);
    const std::size_t nameBytes = fields.nameChars * 2;
    if (nameBytes != 0) {
        std::memcpy(out + kNameOffset, fields.name, nameBytes);
    }
    // The name's terminator, the gap and the list terminator are already zero.
    if (fields.extraBytes != 0) {
        std::memcpy(out + kExtraOffsetBase + nameBytes, fields.extra, fields.extraBytes);
    }
}

void WritePlaceholder(std::uint8_t* out, Kind kind, std::uint32_t value) noexcept {
    WriteHeader(out, kFixedSize, kind);
    StoreU32(out + kValueOffset, value);
}

}  // namespace vtls::itemid
