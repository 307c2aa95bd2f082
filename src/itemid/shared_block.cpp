#include "itemid/shared_block.h"

#include <cwchar>

namespace vtls {

HANDLE CreateSharedBlock(DWORD bytes, LPCWSTR name) noexcept {
    if (name == nullptr) {
        return GlobalAlloc(GMEM_FIXED | GMEM_SHARE, bytes);
    }
    const LPCWSTR objectName = std::wcscmp(name, kUnnamedMapping) == 0 ? nullptr : name;
    // An existing mapping of that name comes back as it is, with its own size.
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, bytes, objectName);
    if (mapping == nullptr && objectName != nullptr && GetLastError() == ERROR_FILE_EXISTS) {
        mapping = OpenFileMappingW(FILE_MAP_READ, FALSE, objectName);
    }
    return mapping;
}

void* LockSharedBlock(HANDLE block, LPCWSTR name) noexcept {
    if (name != nullptr) {
        return MapViewOfFile(block, FILE_MAP_ALL_ACCESS, 0, 0, 0);
    }
    return GlobalLock(block);
}

void UnlockSharedBlock(HANDLE block, void* contents, LPCWSTR name) noexcept {
    if (name != nullptr) {
        UnmapViewOfFile(contents);
    } else {
        GlobalUnlock(block);
    }
}

}  // namespace vtls
