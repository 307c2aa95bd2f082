// GetDesktopFolderInstance and ILGetNamespacePIDL: the desktop folder and the
// root items it understands.
#include <cstdint>

#include "VantrelSh.h"
#include "namespace/desktop_folder.h"
#include "namespace/portable/root_item.h"

extern "C" HRESULT WINAPI GetDesktopFolderInstance(IShellFolder** folder) {
    *folder = &vtls::g_DesktopFolder;
    return S_OK;
}

extern "C" HRESULT WINAPI ILGetNamespacePIDL(const CLSID* classId, LPITEMIDLIST* list) {
    auto* bytes = static_cast<std::uint8_t*>(VtlsSHAlloc(vtls::ns::kRootListSize));
    if (bytes == nullptr) {
        return E_OUTOFMEMORY;
    }
    vtls::ns::WriteRootList(bytes, reinterpret_cast<const std::uint8_t*>(classId));
    *list = reinterpret_cast<LPITEMIDLIST>(bytes);
    return S_OK;
}
