// COM objects and windows that drag tests hand to the library: a drop source
// that ends the drag as told and counts how often it was asked, an empty data
// object, popup windows at known places, and threads in a chosen apartment.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace vtls::test {

// Lives on the test's stack; references are counted, never deleted.
class TestDropSource final : public IDropSource {
public:
    explicit TestDropSource(HRESULT answer) : answer_(answer) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDropSource)) {
            *object = static_cast<IDropSource*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }
    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL, DWORD) override {
        ++asked_;
        return answer_;
    }
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }

    [[nodiscard]] int asked() const { return asked_; }

private:
    HRESULT answer_;
    LONG refs_ = 1;
    int asked_ = 0;
};

class TestDataObject final : public IDataObject {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDataObject)) {
            *object = static_cast<IDataObject*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(InterlockedDecrement(&refs_)); }
    HRESULT STDMETHODCALLTYPE GetData(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC*, STGMEDIUM*) override { return DV_E_FORMATETC; }
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC*) override { return DV_E_FORMATETC; }
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out) override {
        out->ptd = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD, IEnumFORMATETC** out) override {
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override {
        return OLE_E_ADVISENOTSUPPORTED;
    }
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD) override { return OLE_E_ADVISENOTSUPPORTED; }
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA**) override { return OLE_E_ADVISENOTSUPPORTED; }

private:
    LONG refs_ = 1;
};

// A borderless popup whose outer rectangle and client area both start at
// (left, top), destroyed with its owner.
class TestWindow {
public:
    TestWindow(int left, int top)
        : window_(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, left, top, 80, 60, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr)) {}
    ~TestWindow() {
        if (window_ != nullptr) {
            DestroyWindow(window_);
        }
    }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;

    [[nodiscard]] HWND get() const { return window_; }

private:
    HWND window_;
};

enum class Apartment { kNone, kSingleThreaded, kMultithreaded };

// Runs body on a new thread in the apartment (single-threaded with OLE, as a
// drag needs), and waits for it.
inline void RunInApartment(Apartment apartment, const std::function<void()>& body) {
    std::thread thread([&] {
        HRESULT entered = S_OK;
        if (apartment == Apartment::kSingleThreaded) {
            entered = OleInitialize(nullptr);
        } else if (apartment == Apartment::kMultithreaded) {
            entered = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        }
        if (SUCCEEDED(entered)) {
            body();
        } else {
            ADD_FAILURE() << "entering the apartment failed: 0x" << std::hex << entered;
        }
        if (apartment == Apartment::kSingleThreaded && SUCCEEDED(entered)) {
            OleUninitialize();
        } else if (apartment == Apartment::kMultithreaded && SUCCEEDED(entered)) {
            CoUninitialize();
        }
    });
    thread.join();
}

}  // namespace vtls::test
