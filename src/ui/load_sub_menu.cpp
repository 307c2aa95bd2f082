// Loads one submenu of a menu resource and hands it to the caller alone.
#include "VantrelSh.h"
#include "base/unique_resource.h"

extern "C" HMENU WINAPI SHLoadSubMenu(HINSTANCE module, LPCWSTR name, INT position) {
    const vtls::UniqueMenu loaded(LoadMenuW(module, name));
    if (!loaded) {
        return nullptr;
    }
    HMENU sub = GetSubMenu(loaded.get(), position);
    // RemoveMenu detaches the submenu, so destroying the rest spares it.
    RemoveMenu(loaded.get(), static_cast<UINT>(position), MF_BYPOSITION);
    return sub;
}
