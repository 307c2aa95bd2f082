// Hidden top-level windows owned by objects: every message of a window reaches
// its object's message map, from the first message on.
#pragma once

#include <windows.h>

namespace vtls {

// The window handle, written by the window's own thread (first and last
// message) and read by others, hence the atomic accesses.
class CWindow {
public:
    [[nodiscard]] HWND Handle() const noexcept { return __atomic_load_n(&m_hWnd, __ATOMIC_ACQUIRE); }

protected:
    void SetHandle(HWND window) noexcept { __atomic_store_n(&m_hWnd, window, __ATOMIC_RELEASE); }

private:
    HWND m_hWnd = nullptr;
};

class CMessageMap {
public:
    // Handles the message or not; when it does, result is the LRESULT. Messages
    // not handled go to DefWindowProcW.
    virtual bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) noexcept = 0;

protected:
    ~CMessageMap() = default;
};

class CWindowImplRoot : public CWindow, public CMessageMap {
protected:
    ~CWindowImplRoot() = default;
};

// One registered class: its name and, once registered, its atom.
struct WindowClassRecord {
    const wchar_t* name;
    ATOM atom;
};

// Registers the class under the module's window-creation lock, once per
// process; 0 on failure.
[[nodiscard]] ATOM RegisterWindowClass(WindowClassRecord& windowClass) noexcept;
// Removes the classes this load registered; for the unload, when no window of
// them is left (every window's thread holds the library loaded).
void UnregisterWindowClasses() noexcept;

class CWindowImplBaseT : public CWindowImplRoot {
public:
    // The procedure that dispatches a bound window's messages to its object.
    [[nodiscard]] virtual WNDPROC GetWindowProc() noexcept { return WindowProc; }
    // Called after the window's last message (WM_NCDESTROY).
    virtual void OnFinalMessage(HWND /*window*/) noexcept {}

protected:
    ~CWindowImplBaseT() = default;

    // On the calling thread, which will own the window: registers the class once
    // per process and creates a hidden top-level window bound to this object.
    [[nodiscard]] HWND CreateBoundWindow(WindowClassRecord& windowClass, const wchar_t* windowName) noexcept;

private:
    friend ATOM RegisterWindowClass(WindowClassRecord& windowClass) noexcept;
    static LRESULT CALLBACK StartWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace vtls
