// Finding every process's notify window for a broadcast.
#pragma once

#include <windows.h>

#include "base/heap_vector.h"

namespace vtls {

// The two questions the walk asks the window system, passed in so that a test
// can make a window leave the list in the middle of a walk.
struct NotifyWindowFinder {
    // The next window of the notify class after `after` (the first for null).
    HWND (*next)(HWND after, void* context) noexcept;
    // Every window of the notify class, by enumerating all top-level windows.
    void (*all)(HeapVector<HWND>& windows, void* context) noexcept;
    void* context;
};

// Every notify window that exists from the start to the end of the walk, in
// z-order (windows made or destroyed meanwhile may or may not be in it).
void CollectNotifyWindows(HeapVector<HWND>& windows) noexcept;
void CollectNotifyWindows(const NotifyWindowFinder& finder, HeapVector<HWND>& windows) noexcept;

}  // namespace vtls
