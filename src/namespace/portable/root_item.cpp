#include "namespace/portable/root_item.h"

#include <cstring>

#include "base/portable/byte_order.h"

namespace vtls::ns {

void WriteRootList(std::uint8_t* list, const std::uint8_t* classId) noexcept {
    itemid::StoreU16(list, static_cast<std::uint16_t>(kRootItemSize));
    std::memcpy(list + kRootClassIdOffset, classId, kClassIdSize);
    itemid::StoreU16(list + kRootItemSize, 0);
}

bool BeginsWithRootItem(const std::uint8_t* list) noexcept {
    return itemid::LoadU16(list) == kRootItemSize;
}

RootOrder OrderByRootItems(const std::uint8_t* a, const std::uint8_t* b) noexcept {
    const int byClass = std::memcmp(a + kRootClassIdOffset, b + kRootClassIdOffset, kClassIdSize);
    if (byClass != 0) {
        return byClass < 0 ? RootOrder::kBefore : RootOrder::kAfter;
    }
    const bool deeperA = itemid::LoadU16(a + kRootItemSize) != 0;
    const bool deeperB = itemid::LoadU16(b + kRootItemSize) != 0;
    if (deeperA && deeperB) {
        return RootOrder::kCompareRests;
    }
    if (deeperA != deeperB) {
        return deeperB ? RootOrder::kBefore : RootOrder::kAfter;
    }
    return RootOrder::kEqual;
}

}  // namespace vtls::ns
