// vtls_test_folder.dll: a namespace extension for the tests, served in-process
// under the namespace root's class id. A folder reports what it was given
// through GetDisplayNameOf(null): "init=<hex|none|null> path=<hex> bc=<address>",
// the root list Initialize handed over (none: never called), the items bound
// below the root, and the bind context of the bind that made it.
//
// Binding to an item of 6 bytes answers the 32-bit result stored in it, so the
// tests can see the extension's failures come back unchanged.
#include <windows.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "base/heap_object.h"
#include "peer_ids.h"

namespace {

using vtls::HeapDelete;
using vtls::HeapNew;

LONG g_liveObjects = 0;

class TestFolder final : public IShellFolder, public IPersistFolder {
public:
    TestFolder(std::string init, std::string path, IBindCtx* bindContext)
        : init_(std::move(init)), path_(std::move(path)), bindContext_(bindContext) {
        InterlockedIncrement(&g_liveObjects);
    }
    ~TestFolder() { InterlockedDecrement(&g_liveObjects); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_IShellFolder) {
            *object = static_cast<IShellFolder*>(this);
        } else if (riid == IID_IPersistFolder || riid == IID_IPersist) {
            *object = static_cast<IPersistFolder*>(this);
        }
        if (*object != nullptr) AddRef();
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
    STDMETHODIMP_(ULONG) Release() override {
        const LONG left = InterlockedDecrement(&references_);
        if (left == 0) HeapDelete(this);
        return static_cast<ULONG>(left);
    }

    // IPersistFolder: the folder takes the list over.
    STDMETHODIMP GetClassID(CLSID*) override { return E_NOTIMPL; }
    STDMETHODIMP Initialize(LPCITEMIDLIST list) override {
        init_ = HexItems(list);
        CoTaskMemFree(const_cast<LPITEMIDLIST>(list));
        return S_OK;
    }

    STDMETHODIMP BindToObject(LPCITEMIDLIST list, IBindCtx* bindContext, REFIID riid, void** object) override {
        *object = nullptr;
        if (list == nullptr || list->mkid.cb == 0) return E_INVALIDARG;
        if (list->mkid.cb == 6) {
            HRESULT answer;
            std::memcpy(&answer, list->mkid.abID, sizeof answer);
            return answer;
        }
        TestFolder* child = HeapNew<TestFolder>(init_, path_ + HexItems(list), bindContext);
        if (child == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = child->QueryInterface(riid, object);
        child->Release();
        return result;
    }

    STDMETHODIMP GetDisplayNameOf(LPCITEMIDLIST list, SHGDNF, STRRET* name) override {
        if (list != nullptr && list->mkid.cb != 0) return E_INVALIDARG;
        const std::string report = "init=" + init_ + " path=" + path_ +
                                   " bc=" + std::to_string(reinterpret_cast<std::uintptr_t>(bindContext_));
        const std::wstring text(report.begin(), report.end());
        const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
        name->uType = STRRET_WSTR;
        name->pOleStr = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
        if (name->pOleStr == nullptr) return E_OUTOFMEMORY;
        std::memcpy(name->pOleStr, text.c_str(), bytes);
        return S_OK;
    }

    // The tests need none of the rest.
    STDMETHODIMP ParseDisplayName(HWND, IBindCtx*, LPWSTR, ULONG*, LPITEMIDLIST*, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP EnumObjects(HWND, SHCONTF, IEnumIDList**) override { return E_NOTIMPL; }
    STDMETHODIMP BindToStorage(LPCITEMIDLIST, IBindCtx*, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP CompareIDs(LPARAM, LPCITEMIDLIST, LPCITEMIDLIST) override { return E_NOTIMPL; }
    STDMETHODIMP CreateViewObject(HWND, REFIID, void**) override { return E_NOTIMPL; }
    STDMETHODIMP GetAttributesOf(UINT, PCUITEMID_CHILD_ARRAY, SFGAOF*) override { return E_NOTIMPL; }
    STDMETHODIMP GetUIObjectOf(HWND, UINT, PCUITEMID_CHILD_ARRAY, REFIID, UINT*, void**) override { return E_NOTIMPL; }
    STDMETHODIMP SetNameOf(HWND, LPCITEMIDLIST, LPCWSTR, SHGDNF, LPITEMIDLIST*) override { return E_NOTIMPL; }

private:
    LONG references_ = 1;
    std::string init_;
    const std::string path_;
    IBindCtx* const bindContext_;  // compared, never called
};

// A static class object; it lives as long as the module.
class FolderFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        TestFolder* folder = HeapNew<TestFolder>(std::string("none"), std::string(), nullptr);
        if (folder == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = folder->QueryInterface(riid, object);
        folder->Release();
        return result;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

FolderFactory g_factory;

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
    if (classId == kRootClassId) return g_factory.QueryInterface(riid, object);
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

// Folders alive in this process: the tests check that every reference taken on
// their behalf was given back.
extern "C" LONG WINAPI TestFolderLiveObjects() { return g_liveObjects; }
