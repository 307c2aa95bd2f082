// The drag functions through the DLL's exports. Wine's shell reports version 6,
// so they take the system's path: the drag-and-drop helper object and the
// platform's drag loop.
#include <gtest/gtest.h>

#include <thread>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "drag_test_objects.h"

namespace {

using namespace vtls::test;
using vtls::ComPtr;

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
        }
        const TestWindow window(100, 200);
        TestDataObject data;
        for (const HRESULT answer : {DRAGDROP_S_CANCEL, DRAGDROP_S_DROP}) {
            TestDropSource source(answer);
            DWORD effect = DROPEFFECT_LINK;
            EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{10, 20}, &data, &source, DROPEFFECT_COPY, &effect), answer);
            EXPECT_GE(source.asked, 1);
            // Dropped where no target is: nothing was done.
            EXPECT_TRUE(answer != DRAGDROP_S_DROP || effect == DROPEFFECT_NONE);
        }
        // The loop's refusals are passed on.
        DWORD effect = 0;
        EXPECT_EQ(VtlsSHDoDragDrop(window.get(), POINT{0, 0}, &data, nullptr, DROPEFFECT_COPY, &effect),
                  DoDragDrop(&data, nullptr, DROPEFFECT_COPY, &effect));
        OleUninitialize();
    }).join();
}

}  // namespace
