// CDesktopFolder::BindToObject: from a root item to the namespace extension it
// names, and on through the extension's own items.
#include <cstring>

#include "base/com_ptr.h"
#include "base/portable/byte_order.h"
#include "itemid/id_lists.h"
#include "namespace/desktop_folder.h"
#include "namespace/portable/root_item.h"

namespace vtls {
namespace {

// Hands the extension its root item through IPersistFolder, if it has it. The
// copy is the whole list cut after its first item; the folder takes it over, so
// it is neither freed nor kept here. A failed copy initialises with null.
void InitializeWithRootItem(IShellFolder* folder, PCUIDLIST_RELATIVE list) noexcept {
    ComPtr<IPersistFolder> persist;
    if (FAILED(folder->QueryInterface(IID_IPersistFolder, reinterpret_cast<void**>(persist.put()))) || !persist) {
        return;
    }
    LPITEMIDLIST rootOnly = CloneIDList(list);
    if (rootOnly != nullptr) {
        itemid::StoreU16(reinterpret_cast<std::uint8_t*>(rootOnly) + ns::kRootItemSize, 0);
    }
    persist->Initialize(rootOnly);
}

}  // namespace

STDMETHODIMP CDesktopFolder::BindToObject(PCUIDLIST_RELATIVE list, IBindCtx* bindContext, REFIID riid,
                                          void** object) {
    if (object == nullptr) {
        return E_INVALIDARG;
    }
    *object = nullptr;
    // Only a root item says which extension to create; anything else is refused
    // before more of it is read.
    if (list == nullptr || !ns::BeginsWithRootItem(Bytes(list))) {
        return E_INVALIDARG;
    }
    CLSID classId{};
    std::memcpy(&classId, Bytes(list) + ns::kRootClassIdOffset, sizeof classId);
    ComPtr<IShellFolder> folder;
    const HRESULT created = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IShellFolder,
                                             reinterpret_cast<void**>(folder.put()));
    if (FAILED(created)) {
        return created;
    }
    InitializeWithRootItem(folder.get(), list);
    const auto* below = reinterpret_cast<PCUIDLIST_RELATIVE>(Bytes(list) + ns::kRootItemSize);
    if (itemid::LoadU16(Bytes(below)) != 0) {
        return folder->BindToObject(below, bindContext, riid, object);
    }
    return folder->QueryInterface(riid, object);
}

}  // namespace vtls
