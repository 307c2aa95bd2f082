#include "itemid/id_lists.h"

#include <cstring>

#include "VantrelSh.h"
#include "itemid/portable/id_list.h"
#include "itemid/portable/item_layout.h"

namespace vtls {

UINT GetIDListSize(LPCITEMIDLIST list) noexcept {
    return static_cast<UINT>(itemid::ListSize(Bytes(list)));
}

LPITEMIDLIST CloneIDList(LPCITEMIDLIST list) noexcept {
    if (list == nullptr) {
        return nullptr;
    }
    const UINT bytes = GetIDListSize(list) + itemid::kTerminatorSize;
    void* copy = VtlsSHAlloc(bytes);
    if (copy != nullptr) {
        std::memcpy(copy, list, bytes);
    }
    return static_cast<LPITEMIDLIST>(copy);
}

}  // namespace vtls
