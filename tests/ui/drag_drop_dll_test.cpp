// The drag functions through the DLL's exports. Wine's shell reports version 6,
// so they take the system's path: the drag-and-drop helper object and the
// platform's drag loop.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "drag_test_objects.h"
#include "base/com_ptr.h"

namespace {

using vtls::ComPtr;
using vtls::test::Apartment;
using vtls::test::RunInApartment;
using vtls::test::TestDataObject;
using vtls::test::TestDropSource;
using vtls::test::TestWindow;

HRESULT CreateSystemHelper(IDropTargetHelper** helper) {
    return CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                            IID_IDropTargetHelper, reinterpret_cast<void**>(helper));
}

TEST(DragDropDll, ShellIsNewEnoughForTheSystemPath) {
    ASSERT_TRUE(SHIsWin2000()) << "the tests of this file expect a shell of version 5 or later";
}

// The system's object is apartment-threaded; whatever its creation answers in
// an apartment (or outside any) comes back unchanged.
TEST(DragDropDll, DropTargetHelperIsTheSystemsInEveryApartment) {
    for (Apartment apartment : {Apartment::kSingleThreaded, Apartment::kMultithreaded, Apartment::kNone}) {
        RunInApartment(apartment, [apartment] {
            IDropTargetHelper* ours = reinterpret_cast<IDropTargetHelper*>(1);
            const HRESULT oursResult = SHGetDropTargetHelper(&ours);
            ComPtr<IDropTargetHelper> direct;
            const HRESULT directResult = CreateSystemHelper(direct.put());
            EXPECT_EQ(oursResult, directResult) << "apartment " << static_cast<int>(apartment);
            if (FAILED(oursResult)) {
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
    RunInApartment(Apartment::kSingleThreaded, [] {
        ComPtr<IDropTargetHelper> helper;
        EXPECT_EQ(SHGetDropTargetHelper(helper.put()), S_OK) << "an apartment-threaded caller gets the object";
        EXPECT_EQ(SHGetDropTargetHelper(nullptr), E_POINTER);
    });
}

TEST(DragDropDll, DoDragDropRunsThePlatformsLoopWithTheCallersSource) {
    for (Apartment apartment : {Apartment::kSingleThreaded, Apartment::kMultithreaded}) {
        RunInApartment(apartment, [apartment] {
            const TestWindow window(100, 200);
            ASSERT_NE(window.get(), nullptr);
            TestDataObject data;

            TestDropSource cancelling(DRAGDROP_S_CANCEL);
            DWORD effect = DROPEFFECT_LINK;
            EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{10, 20}, &data, &cancelling, DROPEFFECT_COPY, &effect),
                      DRAGDROP_S_CANCEL)
                << "apartment " << static_cast<int>(apartment);
            EXPECT_GE(cancelling.asked(), 1);

            // Dropped where no target is: nothing was done.
            TestDropSource dropping(DRAGDROP_S_DROP);
            effect = DROPEFFECT_LINK;
            EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{10, 20}, &data, &dropping, DROPEFFECT_COPY, &effect),
                      DRAGDROP_S_DROP);
            EXPECT_GE(dropping.asked(), 1);
            EXPECT_EQ(effect, static_cast<DWORD>(DROPEFFECT_NONE));
        });
    }
}

TEST(DragDropDll, DoDragDropPassesTheLoopsRefusalsOn) {
    RunInApartment(Apartment::kSingleThreaded, [] {
        const TestWindow window(100, 200);
        TestDataObject data;
        TestDropSource source(DRAGDROP_S_CANCEL);
        DWORD effect = 0;
        EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{0, 0}, &data, nullptr, DROPEFFECT_COPY, &effect),
                  DoDragDrop(&data, nullptr, DROPEFFECT_COPY, &effect));
        EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{0, 0}, nullptr, &source, DROPEFFECT_COPY, &effect),
                  DoDragDrop(nullptr, &source, DROPEFFECT_COPY, &effect));
        EXPECT_EQ(source.asked(), 0);
    });
}

}  // namespace
