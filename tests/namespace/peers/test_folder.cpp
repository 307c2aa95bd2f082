// vtls_test_folder.dll: a namespace extension for the tests, served in-process
// for two class ids. Under the root class id its folders take IPersistFolder;
// under the plain class id they lack it. A folder reports what it was given
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
#include <vector>

#include "base/heap_object.h"
#include "test_folder_ids.h"

namespace {

using vtls::HeapDelete;
using vtls::HeapNew;

LONG g_liveObjects = 0;

using Bytes = std::vector<unsigned char>;

Bytes ListBytes(LPCITEMIDLIST list) {
    const auto* at = reinterpret_cast<const unsigned char*>(list);
    std::size_t size = 0;
    while (at[size] != 0 || at[size + 1] != 0) size += at[size] | (at[size + 1] << 8);
    return Bytes(at, at + size);
}

std::wstring Hex(const Bytes& bytes) {
    std::wstring text;
    for (const unsigned char byte : bytes) {
        text += L"0123456789abcdef"[byte >> 4];
        text += L"0123456789abcdef"[byte & 15];
    }
    return text;
}

class TestFolder final : public IShellFolder, public IPersistFolder {
public:
    TestFolder(bool persists, std::wstring init, Bytes path, IBindCtx* bindContext)
        : persists_(persists), init_(std::move(init)), path_(std::move(path)), bindContext_(bindContext) {
        InterlockedIncrement(&g_liveObjects);
    }
    ~TestFolder() { InterlockedDecrement(&g_liveObjects); }

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = nullptr;
        if (riid == IID_IUnknown || riid == IID_IShellFolder) {
            *object = static_cast<IShellFolder*>(this);
        } else if (persists_ && (riid == IID_IPersistFolder || riid == IID_IPersist)) {
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
        init_ = list != nullptr ? Hex(ListBytes(list)) : L"null";
        CoTaskMemFree(const_cast<LPITEMIDLIST>(list));
        return S_OK;
    }

    STDMETHODIMP BindToObject(LPCITEMIDLIST list, IBindCtx* bindContext, REFIID riid, void** object) override {
        *object = nullptr;
        if (list == nullptr || list->mkid.cb == 0) return E_INVALIDARG;
        const Bytes below = ListBytes(list);
        if (list->mkid.cb == 6) {
            HRESULT answer;
            std::memcpy(&answer, list->mkid.abID, sizeof answer);
            return answer;
        }
        Bytes path = path_;
        path.insert(path.end(), below.begin(), below.end());
        TestFolder* child = HeapNew<TestFolder>(persists_, init_, std::move(path), bindContext);
        if (child == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = child->QueryInterface(riid, object);
        child->Release();
        return result;
    }

    STDMETHODIMP GetDisplayNameOf(LPCITEMIDLIST list, SHGDNF, STRRET* name) override {
        if (list != nullptr && list->mkid.cb != 0) return E_INVALIDARG;
        const std::wstring text = L"init=" + init_ + L" path=" + Hex(path_) +
                                  L" bc=" + std::to_wstring(reinterpret_cast<std::uintptr_t>(bindContext_));
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
    const bool persists_;
    std::wstring init_;
    const Bytes path_;
    IBindCtx* const bindContext_;  // compared, never called
};

// One static class object per class id; it lives as long as the module.
class FolderFactory final : public IClassFactory {
public:
    explicit constexpr FolderFactory(bool persists) : persists_(persists) {}

    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IClassFactory ? static_cast<IClassFactory*>(this) : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        *object = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        TestFolder* folder = HeapNew<TestFolder>(persists_, std::wstring(L"none"), Bytes{}, nullptr);
        if (folder == nullptr) return E_OUTOFMEMORY;
        const HRESULT result = folder->QueryInterface(riid, object);
        folder->Release();
        return result;
    }
    STDMETHODIMP LockServer(BOOL) override { return S_OK; }

private:
    const bool persists_;
};

FolderFactory g_rootFactory(true);
FolderFactory g_plainFactory(false);

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID riid, void** object) {
    if (classId == kRootClassId) return g_rootFactory.QueryInterface(riid, object);
    if (classId == kPlainClassId) return g_plainFactory.QueryInterface(riid, object);
    *object = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

// Folders alive in this process: the tests check that every reference taken on
// their behalf was given back.
extern "C" LONG WINAPI TestFolderLiveObjects() { return g_liveObjects; }
