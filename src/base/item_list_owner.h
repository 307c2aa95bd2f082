// The owners of item identifier lists: one for lists from the library's
// allocator (VtlsSHAlloc, everything the library hands out), one for lists the
// shell made (ILClone, SHGetSpecialFolderLocation).
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "VantrelSh.h"
#include "base/unique_resource.h"

namespace vtls {

inline void FreeLibraryItemList(LPITEMIDLIST list) noexcept { VtlsSHFree(list); }
using UniqueIDList = UniqueResource<LPITEMIDLIST, FreeLibraryItemList>;

inline void FreeShellItemList(LPITEMIDLIST list) noexcept { ILFree(list); }
using UniqueShellIDList = UniqueResource<LPITEMIDLIST, FreeShellItemList>;

}  // namespace vtls
