// The icon refresh of a folder and its template children, and the exports
// around it.
#include <cstring>

#include "VantrelSh.h"
// After <windows.h>, which VantrelSh.h brings in.
#include <shellapi.h>
#include "notify/manager/update_icons.h"
#include "itemid/id_lists.h"
#include "notify/manager/fs_notify_manager.h"

namespace vtls {
namespace {

// The template item types refreshed, in order; 7 stands for the folder itself.
constexpr INT kTemplateTypes[] = {7, 10, 9, 8};
constexpr INT kFolderItself = 7;

void SetInUpdateIcon(BOOL value) noexcept {
    ScopedLock lock(g_csUpdateIcon);
    g_bInUpdateIcon = value;
}

// A new list: the folder's items, then the child's, then the terminator.
LPITEMIDLIST CombineIDLists(LPCITEMIDLIST folder, LPCITEMIDLIST child) noexcept {
    const UINT folderSize = GetIDListSize(folder);
    const UINT childSize = GetIDListSize(child);
    auto* combined = static_cast<std::uint8_t*>(VtlsSHAlloc(folderSize + childSize + 2));
    if (combined == nullptr) {
        return nullptr;
    }
    if (folderSize != 0) std::memcpy(combined, folder, folderSize);
    if (childSize != 0) std::memcpy(combined + folderSize, child, childSize);
    combined[folderSize + childSize] = 0;
    combined[folderSize + childSize + 1] = 0;
    return reinterpret_cast<LPITEMIDLIST>(combined);
}

// Asks the shell for the list's closed and open icons and has it redraw them.
void RefreshImage(LPCITEMIDLIST list) noexcept {
    for (const UINT open : {0u, static_cast<UINT>(SHGFI_OPENICON)}) {
        SHFILEINFOW info{};
        SHGetFileInfoW(reinterpret_cast<LPCWSTR>(list), 0, &info, sizeof(info), SHGFI_PIDL | SHGFI_SYSICONINDEX | open);
        // The index is passed on as the structure holds it: a failed call leaves 0.
        SHChangeNotify(SHCNE_UPDATEIMAGE, SHCNF_DWORD, reinterpret_cast<LPCVOID>(static_cast<INT_PTR>(info.iIcon)),
                       nullptr);
    }
}

void RefreshTemplateIcons(LPCITEMIDLIST folder, INT type) noexcept {
    UniqueIDList child;
    if (type != kFolderItself) {
        constexpr GUID kNoGuid{};
        child.reset(VtlsCreateID(L"Template", type, 0, &kNoGuid, 0, nullptr));
        if (!child) {
            return;
        }
    }
    const UniqueIDList combined(CombineIDLists(folder, child.get()));
    if (combined) {
        RefreshImage(combined.get());
    }
}

}  // namespace

LRESULT CFsNotifyManager::OnUpdateIcons(LPITEMIDLIST folder) noexcept {
    // The sender hands the list over; it is freed whatever else happens.
    const UniqueIDList owned(folder);
    SetInUpdateIcon(TRUE);
    for (const INT type : kTemplateTypes) {
        RefreshTemplateIcons(folder, type);
    }
    SetInUpdateIcon(FALSE);
    return 0;
}

}  // namespace vtls

extern "C" BOOL WINAPI VtlsInUpdateIcon() {
    vtls::ScopedLock lock(vtls::g_csUpdateIcon);
    return vtls::g_bInUpdateIcon;
}

extern "C" HRESULT WINAPI VtlsUpdateOpcServerIcons(DWORD /*reserved*/) { return S_OK; }
