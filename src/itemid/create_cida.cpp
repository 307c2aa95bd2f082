// SHCreateCIDA: a parent list and its children packed in one block of global memory.
#include <cstring>

#include "VantrelSh.h"
#include "itemid/portable/cida_layout.h"
#include "itemid/id_lists.h"
#include "itemid/shared_block.h"
#include "base/unique_resource.h"

extern "C" HGLOBAL WINAPI SHCreateCIDA(LPCITEMIDLIST parent, UINT count, LPCITEMIDLIST* children) {
    using namespace vtls;
    if (count != 0 && children == nullptr) {
        return nullptr;
    }
    // A null child has no list to pack; refusing keeps every offset meaningful.
    for (UINT i = 0; i < count; ++i) {
        if (children[i] == nullptr) {
            return nullptr;
        }
    }
    const std::optional<std::size_t> parentSize =
        parent != nullptr ? std::optional<std::size_t>(GetIDListSize(parent)) : std::nullopt;
    const auto size = itemid::CidaSize(parentSize, count, [&](UINT i) { return GetIDListSize(children[i]); });
    if (!size) {
        return nullptr;
    }
    // Without a name the shared block is global memory, freed if it cannot be filled.
    UniqueGlobal block(CreateSharedBlock(static_cast<DWORD>(*size), nullptr));
    {
        const SharedBlockView view(block.get(), nullptr);
        if (view.contents() == nullptr) {
            return nullptr;
        }
        itemid::WriteCida(static_cast<std::uint8_t*>(view.contents()), Bytes(parent), count,
                          reinterpret_cast<const std::uint8_t* const*>(children));
    }
    return block.release();
}
