// VtlsGetSpecialFolderLocation: the namespace root's list, parsed by the desktop
// folder from "::{class id}" as the shell would parse it.
#include "VantrelSh.h"
#include "base/com_ptr.h"

namespace {

// StringFromGUID2 is given this many characters after the two colons.
constexpr int kClassIdChars = 258;

}  // namespace

extern "C" HRESULT WINAPI VtlsGetSpecialFolderLocation(INT folder, LPITEMIDLIST* list) {
    if (list == nullptr) {
        return E_INVALIDARG;
    }
    *list = nullptr;
    if (folder != VTLS_FOLDER_ROOT && folder != VTLS_FOLDER_ROOT_ALT) {
        return E_INVALIDARG;
    }
    IShellFolder* instance = nullptr;
    GetDesktopFolderInstance(&instance);
    const auto desktop = vtls::ComPtr<IShellFolder>::Attach(instance);
    WCHAR displayName[2 + kClassIdChars] = L"::";
    StringFromGUID2(CLSID_VtlsNamespace, displayName + 2, kClassIdChars);
    ULONG eaten = 0;
    return desktop->ParseDisplayName(nullptr, nullptr, displayName, &eaten, list, nullptr);
}
