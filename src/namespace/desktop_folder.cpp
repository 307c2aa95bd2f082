// CDesktopFolder: identity, parsing "::{class id}", ordering root items, and the
// operations it declines. Binding is in folder_binding.cpp.
#include "namespace/desktop_folder.h"

#include "VantrelSh.h"
#include "base/interface_table.h"
#include "itemid/portable/compare_rules.h"
#include "itemid/id_lists.h"
#include "namespace/portable/root_item.h"

namespace vtls {

STDMETHODIMP CDesktopFolder::QueryInterface(REFIID riid, void** object) {
    // Only IShellFolder: the folder is never asked for IUnknown identity, and
    // the instance outlives every caller, so nothing is counted.
    constexpr QueryRules kStatic{E_INVALIDARG, false, false};
    return QueryFromTable({{IID_IShellFolder, this}}, kStatic, riid, object);
}

// The instance outlives every caller, so references are not counted.
STDMETHODIMP_(ULONG) CDesktopFolder::AddRef() { return 1; }
STDMETHODIMP_(ULONG) CDesktopFolder::Release() { return 1; }

STDMETHODIMP CDesktopFolder::ParseDisplayName(HWND /*window*/, IBindCtx* /*bindContext*/, LPWSTR displayName,
                                              ULONG* /*eaten*/, PIDLIST_RELATIVE* list, ULONG* /*attributes*/) {
    // The first two characters are the colons of "::{class id}" and are not
    // checked; a name too short to hold them is refused rather than read past
    // its end.
    if (displayName == nullptr || displayName[0] == L'\0' || displayName[1] == L'\0' || list == nullptr) {
        return E_INVALIDARG;
    }
    CLSID classId{};
    const HRESULT parsed = CLSIDFromString(displayName + 2, &classId);
    if (FAILED(parsed)) {
        return parsed;
    }
    return ILGetNamespacePIDL(&classId, list);
}

// Class ids decide before depth, unlike VtlsComparePIDLs, which looks at depth
// first; below equal root items the library's own order decides.
STDMETHODIMP CDesktopFolder::CompareIDs(LPARAM /*sorting*/, PCUIDLIST_RELATIVE a, PCUIDLIST_RELATIVE b) {
    // A missing list has no first item to look at; a first item that is not a
    // root item is the E_FAIL below.
    if (a == nullptr || b == nullptr) {
        return E_INVALIDARG;
    }
    if (!ns::BeginsWithRootItem(Bytes(a)) || !ns::BeginsWithRootItem(Bytes(b))) {
        return E_FAIL;
    }
    switch (ns::OrderByRootItems(Bytes(a), Bytes(b))) {
        case ns::RootOrder::kBefore:
            return itemid::kSortsBefore;
        case ns::RootOrder::kAfter:
            return itemid::kSortsAfter;
        case ns::RootOrder::kEqual:
            return itemid::kSortsEqual;
        case ns::RootOrder::kCompareRests:
            break;
    }
    return VtlsComparePIDLs(reinterpret_cast<LPCITEMIDLIST>(Bytes(a) + ns::kRootItemSize),
                            reinterpret_cast<LPCITEMIDLIST>(Bytes(b) + ns::kRootItemSize));
}

// Everything else a shell folder does belongs to the extensions below the root.

STDMETHODIMP CDesktopFolder::EnumObjects(HWND, SHCONTF, IEnumIDList**) { return E_NOTIMPL; }

STDMETHODIMP CDesktopFolder::BindToStorage(PCUIDLIST_RELATIVE, IBindCtx*, REFIID, void**) { return E_NOTIMPL; }

STDMETHODIMP CDesktopFolder::CreateViewObject(HWND, REFIID, void**) { return E_NOTIMPL; }

STDMETHODIMP CDesktopFolder::GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) { return E_NOTIMPL; }

STDMETHODIMP CDesktopFolder::GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void**) {
    return E_NOTIMPL;
}

STDMETHODIMP CDesktopFolder::GetDisplayNameOf(PCUITEMID_CHILD, SHGDNF, STRRET*) { return E_NOTIMPL; }

STDMETHODIMP CDesktopFolder::SetNameOf(HWND, PCUITEMID_CHILD, LPCWSTR, SHGDNF, PITEMID_CHILD*) { return E_NOTIMPL; }

}  // namespace vtls
