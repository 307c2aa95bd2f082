#include "base/window_object.h"

#include "base/critical_section.h"
#include "base/module_record.h"

namespace vtls {
namespace {

ATOM LoadAtom(const WindowClassRecord& windowClass) noexcept {
    return __atomic_load_n(&windowClass.atom, __ATOMIC_ACQUIRE);
}

// Takes this thread's entry off the pending-creation list; each thread creates
// one window at a time, so the thread id finds the right object.
CWindowImplBaseT* TakePendingCreation(DWORD threadId) noexcept {
    ScopedLock lock(g_Module.windowCreationLock);
    for (PendingCreation** link = &g_Module.pendingCreations; *link != nullptr; link = &(*link)->next) {
        if ((*link)->threadId == threadId) {
            PendingCreation* entry = *link;
            *link = entry->next;
            return static_cast<CWindowImplBaseT*>(entry->owner);
        }
    }
    return nullptr;
}

// The classes this load of the library registered, for the unload to remove.
WindowClassRecord* g_registeredClasses[4] = {};

}  // namespace

void UnregisterWindowClasses() noexcept {
    ScopedLock lock(g_Module.windowCreationLock);
    for (WindowClassRecord*& record : g_registeredClasses) {
        if (record != nullptr) {
            UnregisterClassW(record->name, g_Module.instance);
            __atomic_store_n(&record->atom, static_cast<ATOM>(0), __ATOMIC_RELEASE);
            record = nullptr;
        }
    }
}

ATOM RegisterWindowClass(WindowClassRecord& windowClass) noexcept {
    if (const ATOM atom = LoadAtom(windowClass)) {
        return atom;
    }
    ScopedLock lock(g_Module.windowCreationLock);
    if (const ATOM atom = LoadAtom(windowClass)) {
        return atom;  // another thread registered it meanwhile
    }
    WNDCLASSEXW description{};
    description.cbSize = sizeof(description);
    description.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    description.lpfnWndProc = CWindowImplBaseT::StartWindowProc;
    description.hInstance = g_Module.instance;
    description.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    description.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    description.lpszClassName = windowClass.name;
    // A class of this name under this instance can only be one an earlier load
    // left behind (an unload removes its classes, so this happens only when that
    // load was not unloaded properly); its procedure may lie in unmapped code, so
    // it is replaced.
    UnregisterClassW(windowClass.name, g_Module.instance);
    const ATOM atom = RegisterClassExW(&description);
    if (atom != 0) {
        for (WindowClassRecord*& record : g_registeredClasses) {
            if (record == nullptr || record == &windowClass) {
                record = &windowClass;
                break;
            }
        }
    }
    __atomic_store_n(&windowClass.atom, atom, __ATOMIC_RELEASE);
    return atom;
}

HWND CWindowImplBaseT::CreateBoundWindow(WindowClassRecord& windowClass, const wchar_t* windowName) noexcept {
    const ATOM atom = RegisterWindowClass(windowClass);
    if (atom == 0) {
        return nullptr;
    }
    // The entry lives on this stack for the duration of the creation; the first
    // message takes it off the list.
    PendingCreation entry{this, GetCurrentThreadId(), nullptr};
    {
        ScopedLock lock(g_Module.windowCreationLock);
        entry.next = g_Module.pendingCreations;
        g_Module.pendingCreations = &entry;
    }
    const HWND window = CreateWindowExW(0, MAKEINTATOM(atom), windowName, WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        g_Module.instance, nullptr);
    // A creation that failed before any message leaves the entry behind.
    TakePendingCreation(GetCurrentThreadId());
    return window;
}

LRESULT CALLBACK CWindowImplBaseT::StartWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    CWindowImplBaseT* owner = TakePendingCreation(GetCurrentThreadId());
    if (owner == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    owner->SetHandle(window);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    const WNDPROC procedure = owner->GetWindowProc();
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
    return procedure(window, message, wParam, lParam);
}

LRESULT CALLBACK CWindowImplBaseT::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* owner = reinterpret_cast<CWindowImplBaseT*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner == nullptr) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (owner->ProcessWindowMessage(window, message, wParam, lParam, result)) {
        return result;
    }
    result = DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        owner->SetHandle(nullptr);
        owner->OnFinalMessage(window);
    }
    return result;
}

}  // namespace vtls
