// SHExtractIcon: a large and a small icon from an icon group of a module file,
// loaded as data only, so none of the module's code runs.
#include <cwchar>

#include "VantrelSh.h"
#include "icons/shell_icon_metrics.h"
#include "icons/portable/icon_group_directory.h"
#include "icons/icon_owners.h"
#include "icons/extract_icon.h"

namespace vtls {
namespace {

// The resource format version that CreateIconFromResourceEx expects.
constexpr DWORD kIconFormatVersion = 0x00030000;
// Images are chosen from a group for these sizes; the small icon is then made
// at the system's small-icon size.
constexpr int kSmallImageSize = 16;

struct ResourceBytes {
    const BYTE* data = nullptr;
    DWORD size = 0;
};

// A resource of the module, locked; data is null when it cannot be found,
// loaded or locked, or is empty.
[[nodiscard]] ResourceBytes LockModuleResource(HMODULE module, LPCWSTR name, LPCWSTR type) noexcept {
    HRSRC found = FindResourceW(module, name, type);
    if (found == nullptr) {
        return {};
    }
    const DWORD size = SizeofResource(module, found);
    HGLOBAL loaded = LoadResource(module, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr || size == 0) {
        return {};
    }
    return {static_cast<const BYTE*>(data), size};
}

struct IconSize {
    int cx;
    int cy;
};

// One icon from the group: the image that best fits chooseFor, made at makeAt.
[[nodiscard]] HRESULT MakeIcon(HMODULE module, const ResourceBytes& directory, IconSize chooseFor, IconSize makeAt,
                               UINT colour, UniqueIcon* icon) noexcept {
    // Both calls take non-const pointers but only read.
    const int id = LookupIconIdFromDirectoryEx(const_cast<BYTE*>(directory.data), TRUE, chooseFor.cx, chooseFor.cy,
                                               colour);
    const ResourceBytes image = LockModuleResource(module, MAKEINTRESOURCEW(id), RT_ICON);
    if (image.data == nullptr) {
        return E_FAIL;
    }
    icon->reset(CreateIconFromResourceEx(const_cast<BYTE*>(image.data), image.size, TRUE, kIconFormatVersion,
                                         makeAt.cx, makeAt.cy, colour));
    return icon->valid() ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

BOOL CALLBACK EnumIconGroupProc(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
    auto* pick = reinterpret_cast<IconGroupPick*>(param);
    const ULONG_PTR count = pick->slot;
    pick->slot = count - 1;
    if (count != 0) {
        return TRUE;
    }
    if (IS_INTRESOURCE(name)) {
        pick->slot = reinterpret_cast<ULONG_PTR>(name);
    } else {
        pick->nameCopy.reset(_wcsdup(name));
        pick->slot = reinterpret_cast<ULONG_PTR>(pick->nameCopy.get());
    }
    pick->picked = pick->slot != 0;
    return FALSE;
}

}  // namespace vtls

extern "C" HRESULT WINAPI SHExtractIcon(LPCWSTR path, INT index, HICON* large, HICON* small) {
    using namespace vtls;
    if (large != nullptr) {
        *large = nullptr;
    }
    if (small != nullptr) {
        *small = nullptr;
    }
    const UniqueModule module(LoadLibraryExW(path, nullptr, LOAD_LIBRARY_AS_DATAFILE));
    if (!module) {
        return E_FAIL;
    }
    // The slot counts down as an unsigned number: a negative index never
    // reaches zero, and an index past the last group leaves nothing picked.
    IconGroupPick pick;
    pick.slot = static_cast<ULONG_PTR>(static_cast<LONG_PTR>(index));
    EnumResourceNamesW(module.get(), RT_GROUP_ICON, EnumIconGroupProc, reinterpret_cast<LONG_PTR>(&pick));
    // An index that names no group fails as a group that cannot be found.
    if (!pick.picked) {
        return E_FAIL;
    }
    const ResourceBytes directory = LockModuleResource(module.get(), pick.Name(), RT_GROUP_ICON);
    if (directory.data == nullptr || !icons::IconGroupDirectoryFits(directory.data, directory.size)) {
        return E_FAIL;
    }
    const UINT colour = g_bHighColorIcons ? LR_DEFAULTCOLOR : LR_VGACOLOR;
    UniqueIcon largeIcon;
    UniqueIcon smallIcon;
    if (large != nullptr) {
        const IconSize shellSize{g_nShellIconSize, g_nShellIconSize};
        const HRESULT made = MakeIcon(module.get(), directory, shellSize, shellSize, colour, &largeIcon);
        if (FAILED(made)) {
            return made;
        }
    }
    if (small != nullptr) {
        const IconSize systemSmall{GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON)};
        const HRESULT made =
            MakeIcon(module.get(), directory, {kSmallImageSize, kSmallImageSize}, systemSmall, colour, &smallIcon);
        if (FAILED(made)) {
            return made;
        }
    }
    if (large != nullptr) {
        *large = largeIcon.release();
    }
    if (small != nullptr) {
        *small = smallIcon.release();
    }
    return S_OK;
}
