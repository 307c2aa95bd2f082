#include "itemid/portable/id_list.h"

#include "base/portable/byte_order.h"
#include "itemid/portable/item_layout.h"

namespace vtls::itemid {

std::size_t ListSize(const std::uint8_t* list) noexcept {
    if (list == nullptr) {
        return 0;
    }
    std::size_t total = 0;
    for (std::uint16_t cb = LoadU16(list); cb != 0; cb = LoadU16(list + total)) {
        total += cb;
    }
    return total;
}

std::optional<std::size_t> BoundedListSize(const std::uint8_t* list, std::size_t available) noexcept {
    std::size_t total = 0;
    for (;;) {
        if (available < kTerminatorSize || total > available - kTerminatorSize) {
            return std::nullopt;
        }
        const std::uint16_t cb = LoadU16(list + total);
        if (cb == 0) {
            return total;
        }
        total += cb;
    }
}

}  // namespace vtls::itemid
