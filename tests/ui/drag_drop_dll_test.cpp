// The drag functions through the DLL's exports. Wine's shell reports version 6,
// so they take the system's path: the drag-and-drop helper object and the
// platform's drag loop.
#include <gtest/gtest.h>

#include <memory>
#include <thread>

#include "VantrelSh.h"
#include "base/com_ptr.h"

namespace {

using vtls::ComPtr;

// Ends the drag as told and counts how often it was asked; lives on the stack.
class TestDropSource final : public IDropSource {
public:
    explicit TestDropSource(HRESULT answer) : answer_(answer) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_IDropSource ? this : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP QueryContinueDrag(BOOL, DWORD) override {
        ++asked;
        return answer_;
    }
    STDMETHODIMP GiveFeedback(DWORD) override { return DRAGDROP_S_USEDEFAULTCURSORS; }
    int asked = 0;

private:
    HRESULT answer_;
};

struct WindowCloser {
    void operator()(HWND window) const { DestroyWindow(window); }
};

// A drag needs a single-threaded apartment with OLE: a thread of the test's own.
TEST(DragDropDll, TheSystemsHelperAndLoopRunWithTheCallersSource) {
    ASSERT_TRUE(SHIsWin2000()) << "these tests expect a shell of version 5 or later";
    EXPECT_EQ(SHGetDropTargetHelper(nullptr), E_POINTER);
    std::thread([] {
        ASSERT_EQ(OleInitialize(nullptr), S_OK);
        {
            // The system's object also serves drag sources; the library's own does not.
            ComPtr<IDropTargetHelper> ours;
            EXPECT_EQ(SHGetDropTargetHelper(ours.put()), S_OK);
            ComPtr<IDragSourceHelper> source;
            EXPECT_TRUE(ours &&
                        SUCCEEDED(ours->QueryInterface(IID_IDragSourceHelper, reinterpret_cast<void**>(source.put()))));
            ComPtr<IDataObject> data;  // an empty one of the platform's
            ASSERT_EQ(CreateDataCache(nullptr, CLSID_NULL, IID_IDataObject, reinterpret_cast<void**>(data.put())), S_OK);
            const std::unique_ptr<HWND__, WindowCloser> owner(CreateWindowExW(
                0, L"STATIC", L"", WS_POPUP, 100, 200, 80, 60, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr));
            const HWND window = owner.get();
            for (const HRESULT answer : {DRAGDROP_S_CANCEL, DRAGDROP_S_DROP}) {
                TestDropSource dropSource(answer);
                DWORD effect = DROPEFFECT_LINK;
                EXPECT_EQ(VtlsSHDoDragDrop(window, POINT{10, 20}, data.get(), &dropSource, DROPEFFECT_COPY, &effect),
                          answer);
                EXPECT_GE(dropSource.asked, 1);
                // Dropped where no target is: nothing was done.
                EXPECT_TRUE(answer != DRAGDROP_S_DROP || effect == DROPEFFECT_NONE);
            }
            // The loop's refusals are passed on.
            DWORD effect = 0;
            EXPECT_EQ(VtlsSHDoDragDrop(window, POINT{0, 0}, data.get(), nullptr, DROPEFFECT_COPY, &effect),
                      DoDragDrop(data.get(), nullptr, DROPEFFECT_COPY, &effect));
        }
        OleUninitialize();
    }).join();
}

}  // namespace
