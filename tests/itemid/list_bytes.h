// Building item identifier lists byte by byte for tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "base/portable/byte_order.h"
#include "itemid/portable/item_layout.h"

namespace vtls::test {

using Bytes = std::vector<std::uint8_t>;

struct RealItem {
    std::int32_t type;
    std::u16string name;
    std::uint8_t guidFill;  // every GUID byte
    std::uint32_t data;
    Bytes extra;
};

inline Bytes EncodeReal(std::int32_t type, std::u16string name, std::uint8_t guidFill = 0, std::uint32_t data = 0,
                        Bytes extra = {}) {
    const RealItem item{type, std::move(name), guidFill, data, std::move(extra)};
    const std::size_t size = itemid::kFixedSize + item.name.size() * 2 + item.extra.size();
    Bytes bytes(size, 0);
    itemid::StoreU16(bytes.data(), static_cast<std::uint16_t>(size));
    itemid::StoreU32(bytes.data() + itemid::kSignatureOffset, itemid::kSignature);
    itemid::StoreU32(bytes.data() + itemid::kKindOffset, 3);
    itemid::StoreU32(bytes.data() + itemid::kTypeOffset, static_cast<std::uint32_t>(item.type));
    for (std::size_t i = 0; i < itemid::kGuidSize; ++i) bytes[itemid::kGuidOffset + i] = item.guidFill;
    itemid::StoreU32(bytes.data() + itemid::kDataOffset, item.data);
    for (std::size_t i = 0; i < item.name.size(); ++i) {
        itemid::StoreU16(bytes.data() + itemid::kNameOffset + 2 * i, static_cast<std::uint16_t>(item.name[i]));
    }
    std::copy(item.extra.begin(), item.extra.end(), bytes.begin() + itemid::kExtraOffsetBase + item.name.size() * 2);
    return bytes;
}

inline Bytes EncodePlaceholder(std::int32_t kind, std::uint32_t value) {
    Bytes bytes(itemid::kFixedSize, 0);
    itemid::StoreU16(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    itemid::StoreU32(bytes.data() + itemid::kSignatureOffset, itemid::kSignature);
    itemid::StoreU32(bytes.data() + itemid::kKindOffset, static_cast<std::uint32_t>(kind));
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
