#include "icons/portable/icon_group_directory.h"

#include "base/portable/byte_order.h"

namespace vtls::icons {

bool IconGroupDirectoryFits(const std::uint8_t* directory, std::size_t size) noexcept {
    if (directory == nullptr || size < kGroupHeaderBytes) {
        return false;
    }
    const std::size_t count = itemid::LoadU16(directory + kGroupCountOffset);
    return count <= (size - kGroupHeaderBytes) / kGroupEntryBytes;
}

}  // namespace vtls::icons
