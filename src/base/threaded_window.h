// A hidden top-level window that lives on a thread of its own, from the start
// of a role to its end: the life cycle both managers share. The thread makes
// the window, runs its messages, and ends when the window is gone; stopping
// sends the window a private message that destroys it on its own thread.
#pragma once

#include <windows.h>

#include "base/window_object.h"
#include "base/window_thread.h"

namespace vtls {

class CThreadedWindow : public CWindowImplBaseT {
public:
    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) noexcept final;
    void OnFinalMessage(HWND window) noexcept override;

protected:
    CThreadedWindow(WindowClassRecord& windowClass, UINT closeMessage) noexcept
        : m_windowClass(windowClass), m_closeMessage(closeMessage) {}
    ~CThreadedWindow() = default;

    [[nodiscard]] bool ThreadRunning() const noexcept { return m_thread.Running(); }
    // Starts the thread and waits until its window exists (or could not be
    // made); false when no thread could be started.
    [[nodiscard]] bool StartThread() noexcept;
    // Destroys the window on its thread (returning once it is gone) and waits,
    // bounded, for the thread to end.
    void StopThread() noexcept;

    // On the window's thread: before the window is made (false ends the thread
    // without a window), and after it is gone.
    [[nodiscard]] virtual bool EnterThread() noexcept { return true; }
    virtual void LeaveThread() noexcept {}
    // The window's name, asked on its thread just before it is made.
    [[nodiscard]] virtual const wchar_t* WindowName() const noexcept = 0;
    // The window was made (window) or could not be (null), on its thread.
    virtual void OnWindowMade(HWND /*window*/) noexcept {}
    // The owner's own messages; the close message is handled here.
    virtual bool ProcessOwnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                   LRESULT& result) noexcept = 0;

private:
    [[noreturn]] static unsigned __stdcall ThreadBody(void* self);
    void RunThread() noexcept;

    WindowClassRecord& m_windowClass;
    const UINT m_closeMessage;
    WindowThread m_thread;
};

}  // namespace vtls
