#include "base/threaded_window.h"

namespace vtls {

bool CThreadedWindow::StartThread() noexcept {
    return m_thread.Running() || m_thread.Start(ThreadBody, this);
}

void CThreadedWindow::StopThread() noexcept {
    if (!m_thread.Running()) {
        return;
    }
    if (const HWND window = Handle(); window != nullptr && IsWindow(window)) {
        // Handled on the window's thread; returns once the window is gone.
        SendMessageW(window, m_closeMessage, 0, 0);
    }
    m_thread.Join();
}

unsigned __stdcall CThreadedWindow::ThreadBody(void* self) {
    static_cast<CThreadedWindow*>(self)->RunThread();
    ExitWindowThread();
}

void CThreadedWindow::RunThread() noexcept {
    if (!EnterThread()) {
        m_thread.SignalReady();
        return;
    }
    const HWND window = CreateBoundWindow(m_windowClass, WindowName());
    OnWindowMade(window);
    m_thread.SignalReady();
    if (window != nullptr) {
        RunMessageLoop();
        if (const HWND left = Handle(); left != nullptr && IsWindow(left)) {
            DestroyWindow(left);
        }
        // Messages other processes sent before the window was gone are answered
        // here rather than left to the end of the thread.
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    LeaveThread();
}

void CThreadedWindow::OnFinalMessage(HWND /*window*/) noexcept {
    // One window per thread: with it gone the thread has nothing left to serve.
    PostQuitMessage(0);
}

bool CThreadedWindow::ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                           LRESULT& result) noexcept {
    // The close message
    //   wParam, lParam: not examined
    //   result: 0, after the window is destroyed
    if (message == m_closeMessage) {
        DestroyWindow(window);
        result = 0;
        return true;
    }
    return ProcessOwnMessage(window, message, wParam, lParam, result);
}

}  // namespace vtls
