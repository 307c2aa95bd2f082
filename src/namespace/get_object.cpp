// VtlsGetObject: objects for item identifier lists from the local server, which
// runs in a process of its own.
#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "namespace/sibling_ui.h"

extern "C" HRESULT WINAPI VtlsGetObject(LPCITEMIDLIST list, REFIID riid, void** object) {
    if (object == nullptr) {
        return E_INVALIDARG;
    }
    *object = nullptr;
    // The dialog library gets its turn first; nothing here depends on it.
    VantrelUiOrdinal6();
    if (list == nullptr) {
        return CoGetClassObject(CLSID_VtlsItemServer, CLSCTX_LOCAL_SERVER, nullptr, riid, object);
    }
    vtls::ComPtr<IItemObjectFactory> factory;
    const HRESULT found = CoGetClassObject(CLSID_VtlsItemServer, CLSCTX_LOCAL_SERVER, nullptr,
                                           IID_IItemObjectFactory, reinterpret_cast<void**>(factory.put()));
    if (FAILED(found)) {
        return found;
    }
    return factory->CreateItemObject(list, riid, object);
}
