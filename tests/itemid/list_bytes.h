// Building item identifier lists byte by byte for tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "base/portable/byte_order.h"
#include "itemid/portable/item_layout.h"

namespace vtls::test {

using Bytes = std::vector<std::uint8_t>;

// An item's size, signature and kind; the rest zero.
inline Bytes ItemHeader(std::size_t size, std::uint32_t kind) {
    Bytes bytes(size, 0);
    itemid::StoreU16(bytes.data(), static_cast<std::uint16_t>(size));
    itemid::StoreU32(bytes.data() + itemid::kSignatureOffset, itemid::kSignature);
    itemid::StoreU32(bytes.data() + itemid::kKindOffset, kind);
    return bytes;
}

// A real item; guidFill is every GUID byte.
inline Bytes EncodeReal(std::int32_t type, const std::u16string& name, std::uint8_t guidFill = 0,
                        std::uint32_t data = 0, const Bytes& extra = {}) {
    Bytes bytes = ItemHeader(itemid::kFixedSize + name.size() * 2 + extra.size(), 3);
    itemid::StoreU32(bytes.data() + itemid::kTypeOffset, static_cast<std::uint32_t>(type));
    std::fill_n(bytes.begin() + itemid::kGuidOffset, itemid::kGuidSize, guidFill);
    itemid::StoreU32(bytes.data() + itemid::kDataOffset, data);
    for (std::size_t i = 0; i < name.size(); ++i) {
        itemid::StoreU16(bytes.data() + itemid::kNameOffset + 2 * i, static_cast<std::uint16_t>(name[i]));
    }
    std::copy(extra.begin(), extra.end(), bytes.begin() + itemid::kExtraOffsetBase + name.size() * 2);
    return bytes;
}

// A real item whose name runs to the item's end without its zero character.
inline Bytes EncodeUnterminated(std::int32_t type, const std::u16string& name) {
    Bytes bytes = EncodeReal(type, name);
    bytes.resize(bytes.size() - 4);  // the name's zero and the gap
    itemid::StoreU16(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    return bytes;
}

inline Bytes EncodePlaceholder(std::int32_t kind, std::uint32_t value) {
    Bytes bytes = ItemHeader(itemid::kFixedSize, static_cast<std::uint32_t>(kind));
    itemid::StoreU32(bytes.data() + itemid::kValueOffset, value);
    return bytes;
}

// A list's bytes with its terminator; empty for none.
inline Bytes ListBytes(const void* list) {
    if (list == nullptr) return {};
    const auto* bytes = static_cast<const std::uint8_t*>(list);
    std::size_t size = 0;
    while ((bytes[size] | bytes[size + 1] << 8) != 0) size += bytes[size] | bytes[size + 1] << 8;
    return Bytes(bytes, bytes + size + 2);
}

// Items one after the other, then the terminator.
inline Bytes List(std::initializer_list<Bytes> items) {
    Bytes list;
    for (const Bytes& item : items) list.insert(list.end(), item.begin(), item.end());
    list.push_back(0);
    list.push_back(0);
    return list;
}

}  // namespace vtls::test
