// The library's own small desktop folder: it knows only root items, which name
// a namespace extension by class id, and reaches the extension through them.
#pragma once

#include <windows.h>
#include <shlobj.h>

namespace vtls {

// One static instance lives as long as the library; it holds no state and
// counts no references, so any thread may use it at any time.
class CDesktopFolder final : public IShellFolder {
public:
    constexpr CDesktopFolder() noexcept = default;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IShellFolder
    STDMETHODIMP ParseDisplayName(HWND window, IBindCtx* bindContext, LPWSTR displayName, ULONG* eaten,
                                  PIDLIST_RELATIVE* list, ULONG* attributes) override;
    STDMETHODIMP EnumObjects(HWND window, SHCONTF flags, IEnumIDList** enumerator) override;
    STDMETHODIMP BindToObject(PCUIDLIST_RELATIVE list, IBindCtx* bindContext, REFIID riid, void** object) override;
    STDMETHODIMP BindToStorage(PCUIDLIST_RELATIVE list, IBindCtx* bindContext, REFIID riid, void** object) override;
    STDMETHODIMP CompareIDs(LPARAM sorting, PCUIDLIST_RELATIVE a, PCUIDLIST_RELATIVE b) override;
    STDMETHODIMP CreateViewObject(HWND owner, REFIID riid, void** object) override;
    STDMETHODIMP GetAttributesOf(UINT count, PCUITEMID_CHILD_ARRAY lists, SFGAOF* attributes) override;
    STDMETHODIMP GetUIObjectOf(HWND owner, UINT count, PCUITEMID_CHILD_ARRAY lists, REFIID riid, UINT* reserved,
                               void** object) override;
    STDMETHODIMP GetDisplayNameOf(PCUITEMID_CHILD list, SHGDNF flags, STRRET* name) override;
    STDMETHODIMP SetNameOf(HWND owner, PCUITEMID_CHILD list, LPCWSTR name, SHGDNF flags,
                           PITEMID_CHILD* newList) override;
};

// Constructed second among the process's static objects (see process_state.cpp).
extern CDesktopFolder g_DesktopFolder;

}  // namespace vtls
