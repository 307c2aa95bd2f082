#include "namespace/portable/item_list_wire.h"

#include <cstring>

#include "base/portable/byte_order.h"
#include "itemid/portable/id_list.h"
#include "itemid/portable/item_layout.h"

namespace vtls::ns {
namespace {

std::size_t ListBytes(const std::uint8_t* list) noexcept {
    return list != nullptr ? itemid::ListSize(list) + itemid::kTerminatorSize : 0;
}

// Whether `count` bytes hold items that each cover at least their size field and
// a terminator that ends exactly at `count`.
bool IsExactList(const std::uint8_t* list, std::size_t count) noexcept {
    std::size_t at = 0;
    for (;;) {
        if (count - at < itemid::kTerminatorSize) {
            return false;
        }
        const std::uint16_t cb = itemid::LoadU16(list + at);
        if (cb == 0) {
            return at + itemid::kTerminatorSize == count;
        }
        if (cb < sizeof(std::uint16_t) || cb > count - at) {
            return false;
        }
        at += cb;
    }
}

}  // namespace

std::size_t WireSize(const std::uint8_t* list) noexcept { return kWireHeaderSize + ListBytes(list); }

std::uint8_t* WriteWire(std::uint8_t* out, const std::uint8_t* list) noexcept {
    const std::size_t bytes = ListBytes(list);
    itemid::StoreU32(out, static_cast<std::uint32_t>(bytes));
    if (bytes != 0) {
        std::memcpy(out + kWireHeaderSize, list, bytes);
    }
    return out + kWireHeaderSize + bytes;
}

std::optional<WireList> ReadWire(const std::uint8_t* wire, std::size_t available) noexcept {
    if (wire == nullptr || available < kWireHeaderSize) {
        return std::nullopt;
    }
    const std::size_t count = itemid::LoadU32(wire);
    if (count > available - kWireHeaderSize) {
        return std::nullopt;
    }
    if (count == 0) {
        return WireList{nullptr, 0, kWireHeaderSize};
    }
    const std::uint8_t* list = wire + kWireHeaderSize;
    if (!IsExactList(list, count)) {
        return std::nullopt;
    }
    return WireList{list, count, kWireHeaderSize + count};
}

}  // namespace vtls::ns
