// vtls_item_server.exe: the local server of the item object class for the
// tests, started by COM in a process of its own. Its class object is an
// IItemObjectFactory (marshalled by the widl proxy/stub); CreateItemObject
// answers a stream reading "pid=<server process id> list=<hex|null>", the items
// as they arrived, under the interface asked for. A list whose first item is 6
// bytes long is answered with the 32-bit result stored in that item instead.
//
// The server quits when the tests signal the named event, or after two minutes.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>
#include <string>

#include "item_object_factory.h"
#include "peer_ids.h"

namespace {

// The class object: static, registered with COM for the life of the process.
class ItemFactory final : public IItemObjectFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IItemObjectFactory ? this : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    // Slots the library does not call: a distinct answer shows a call that
    // reached the wrong slot.
    STDMETHODIMP Reserved1() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved2() override { return E_NOTIMPL; }

    STDMETHODIMP CreateItemObject(MarshalledItemList list, REFIID riid, void** object) override {
        *object = nullptr;
        if (list != nullptr && list->mkid.cb == 6) {
            HRESULT answer;
            std::memcpy(&answer, list->mkid.abID, sizeof answer);
            return answer;
        }
        const std::string text = "pid=" + std::to_string(GetCurrentProcessId()) + " list=" + HexItems(list);
        IStream* stream = SHCreateMemStream(reinterpret_cast<const BYTE*>(text.data()), static_cast<UINT>(text.size()));
        if (stream == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = stream->QueryInterface(riid, object);
        stream->Release();
        return result;
    }
};

ItemFactory g_factory;

}  // namespace

int wmain() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) return 1;
    const HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, kItemServerQuitEvent);
    DWORD cookie = 0;
    const HRESULT registered = CoRegisterClassObject(kItemServerClassId, &g_factory, CLSCTX_LOCAL_SERVER,
                                                     REGCLS_MULTIPLEUSE, &cookie);
    if (SUCCEEDED(registered) && quit != nullptr) {
        WaitForSingleObject(quit, 120000);
        CoRevokeClassObject(cookie);
    }
    if (quit != nullptr) CloseHandle(quit);
    CoUninitialize();
    return SUCCEEDED(registered) ? 0 : 2;
}
