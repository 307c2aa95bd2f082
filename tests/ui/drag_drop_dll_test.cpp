// The drag functions through the DLL's exports. Wine's shell reports version 6,
// so they take the system's path: the drag-and-drop helper object and the
// platform's drag loop.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "drag_test_objects.h"

namespace {

using namespace vtls::test;
using vtls::ComPtr;

// The system's object is apartment-threaded; whatever its creation answers in
// an apartment (or outside any) comes back unchanged.
TEST(DragDropDll, DropTargetHelperIsTheSystemsInEveryApartment) {
    ASSERT_TRUE(SHIsWin2000()) << "these tests expect a shell of version 5 or later";
    EXPECT_EQ(SHGetDropTargetHelper(nullptr), E_POINTER);
    for (Apartment apartment : {Apartment::kSingleThreaded, Apartment::kMultithreaded, Apartment::kNone}) {
        RunInApartment(apartment, [apartment] {
            IDropTargetHelper* ours = reinterpret_cast<IDropTargetHelper*>(1);
            const HRESULT result = SHGetDropTargetHelper(&ours);
            ComPtr<IDropTargetHelper> direct;
            EXPECT_EQ(result, CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                               IID_IDropTargetHelper, reinterpret_cast<void**>(direct.put())))
                << static_cast<int>(apartment);
            EXPECT_TRUE(apartment != Apartment::kSingleThreaded || result == S_OK);
            if (FAILED(result)) {
                EXPECT_EQ(ours, nullptr);
                return;
            }
            // The system's object also serves drag sources; the library's own does not.
            ComPtr<IDragSourceHelper> source;
            EXPECT_EQ(ours->QueryInterface(IID_IDragSourceHelper, reinterpret_cast<void**>(source.put())), S_OK);
            source.reset();
            EXPECT_EQ(ours->Release(), 0u) << "one reference for the caller";
        });
    }
}

TEST(DragDropDll, DoDragDropRunsThePlatformsLoopWithTheCallersSource) {
    for (Apartment apartment : {Apartment::kSingleThreaded, Apartment::kMultithreaded}) {
        RunInApartment(apartment, [] {
            const TestWindow window(100, 200);
            TestDataObject data;
            for (const HRESULT answer : {DRAGDROP_S_CANCEL, DRAGDROP_S_DROP}) {
                TestDropSource source(answer);
                DWORD effect = DROPEFFECT_LINK;
                EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{10, 20}, &data, &source, DROPEFFECT_COPY, &effect), answer);
                EXPECT_GE(source.asked, 1);
                // Dropped where no target is: nothing was done.
                if (answer == DRAGDROP_S_DROP) {
                    EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
                }
            }
            // The loop's refusals are passed on.
            TestDropSource source(DRAGDROP_S_CANCEL);
            DWORD effect = 0;
            EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{0, 0}, &data, nullptr, DROPEFFECT_COPY, &effect),
                      DoDragDrop(&data, nullptr, DROPEFFECT_COPY, &effect));
            EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{0, 0}, nullptr, &source, DROPEFFECT_COPY, &effect),
                      DoDragDrop(nullptr, &source, DROPEFFECT_COPY, &effect));
            EXPECT_EQ(source.asked, 0);
        });
    }
}

}  // namespace
