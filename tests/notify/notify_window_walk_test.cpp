// The walk over every process's notify window, with a window that leaves the
// window list while the walk stands on it: the window system then reports the
// end of the list, without an error, and the walk must not believe it.
#include "notify/notify_window_walk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

HWND Window(int n) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(0x1000 + 4 * n)); }

// The notify windows in z-order; `leaving`, once the walk has found it, is no
// longer listed, as a window in its WM_NCDESTROY is not.
struct WindowList {
    std::vector<HWND> windows;
    HWND leaving = nullptr;
    bool left = false;
    int nextCalls = 0;
    int allCalls = 0;

    [[nodiscard]] bool Listed(HWND window) const { return !(left && window == leaving); }

    static HWND Next(HWND after, void* context) noexcept {
        auto* self = static_cast<WindowList*>(context);
        ++self->nextCalls;
        auto at = self->windows.begin();
        if (after != nullptr) {
            at = std::find(self->windows.begin(), self->windows.end(), after);
            if (at == self->windows.end() || !self->Listed(after)) return nullptr;  // no error, just "the end"
            ++at;
        }
        for (; at != self->windows.end(); ++at) {
            if (self->Listed(*at)) {
                if (*at == self->leaving) self->left = true;  // it starts leaving as the walk reaches it
                return *at;
            }
        }
        return nullptr;
    }
    static void All(vtls::HeapVector<HWND>& found, void* context) noexcept {
        auto* self = static_cast<WindowList*>(context);
        ++self->allCalls;
        for (const HWND window : self->windows) {
            if (self->Listed(window)) static_cast<void>(found.PushBack(window));
        }
    }

    std::vector<HWND> Walk() {
        vtls::HeapVector<HWND> found;
        vtls::CollectNotifyWindows({Next, All, this}, found);
        return std::vector<HWND>(found.data(), found.data() + found.size());
    }
};

std::vector<HWND> Windows(int count) {
    std::vector<HWND> windows;
    for (int i = 0; i < count; ++i) windows.push_back(Window(i));
    return windows;
}

TEST(NotifyWindowWalk, AWindowLeavingUnderTheWalkDoesNotHideThoseAfterIt) {
    constexpr int kCount = 6;
    // Undisturbed (no window leaves): one question per window, one for the end,
    // one to confirm it, and no full enumeration.
    WindowList undisturbed{Windows(kCount)};
    EXPECT_EQ(undisturbed.Walk(), Windows(kCount));
    EXPECT_EQ(undisturbed.nextCalls, kCount + 2);
    EXPECT_EQ(undisturbed.allCalls, 0);
    for (int leaving = 0; leaving < kCount; ++leaving) {
        SCOPED_TRACE(leaving);
        WindowList list{Windows(kCount), Window(leaving)};
        std::vector<HWND> expected = Windows(kCount);
        expected.erase(expected.begin() + leaving);
        EXPECT_EQ(list.Walk(), expected);
        EXPECT_EQ(list.allCalls, 1);
    }
}

}  // namespace
