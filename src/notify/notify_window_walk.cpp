#include "notify/notify_window_walk.h"

#include "VantrelSh.h"

namespace vtls {
namespace {

HWND NextByClass(HWND after, void* context) noexcept {
    // The desktop is named rather than left null: without a parent the window
    // system asks for the parent of `after` first, one more round trip to the
    // Wine server per step. The windows searched are the same, the desktop's
    // children (the top-level windows).
    return FindWindowExW(static_cast<HWND>(context), after, VTLS_FSNOTIFY_CLASS, nullptr);
}

BOOL CALLBACK CollectByClass(HWND window, LPARAM parameter) {
    auto* windows = reinterpret_cast<HeapVector<HWND>*>(parameter);
    wchar_t className[260];
    if (GetClassNameW(window, className, 260) > 0 && lstrcmpW(className, VTLS_FSNOTIFY_CLASS) == 0) {
        static_cast<void>(windows->PushBack(window));
    }
    return TRUE;
}

void AllByClass(HeapVector<HWND>& windows, void* /*context*/) noexcept {
    EnumWindows(CollectByClass, reinterpret_cast<LPARAM>(&windows));
}

}  // namespace

void CollectNotifyWindows(HeapVector<HWND>& windows) noexcept {
    CollectNotifyWindows(NotifyWindowFinder{NextByClass, AllByClass, GetDesktopWindow()}, windows);
}

// Asking the window system for the class directly costs one round trip per
// notify window, where reading every top-level window's class costs one per
// window (measured under Wine: 0.18 ms against 2.3 ms with 30 top-level
// windows). But a window that is being destroyed stays a window while it leaves
// the list (under Wine during its WM_NCDESTROY), and a walk standing on it then
// finds nothing after it, without an error. So where the walk ends is checked:
// asked from the window before, the last window found must be found again.
// Only when it is not does the walk fall back to the full enumeration.
void CollectNotifyWindows(const NotifyWindowFinder& finder, HeapVector<HWND>& windows) noexcept {
    HWND before = nullptr;
    HWND last = nullptr;
    for (;;) {
        const HWND next = finder.next(last, finder.context);
        if (next != nullptr) {
            if (!windows.PushBack(next)) {
                return;  // deliver to those found so far
            }
            before = last;
            last = next;
            continue;
        }
        if (last == nullptr || finder.next(before, finder.context) == last) {
            return;  // the true end
        }
        windows.Clear();
        finder.all(windows, finder.context);
        return;
    }
}

}  // namespace vtls
