// The server role's channel: a hidden window that answers content requests
// from shell-side processes through the server's content callback.
#pragma once

#include <windows.h>

#include "base/threaded_window.h"

namespace vtls {

class CVtlsSrvAdviseManager final : public CThreadedWindow {
public:
    CVtlsSrvAdviseManager() noexcept;
    ~CVtlsSrvAdviseManager() = default;

    // Starts the channel thread and waits until its window exists; S_OK at once
    // when it runs already, E_OUTOFMEMORY when no thread could be started.
    [[nodiscard]] HRESULT Start() noexcept;
    // Destroys the window on its thread and waits for the thread to end.
    void Stop() noexcept;

private:
    // The content callback runs on the channel thread, in the multithreaded apartment.
    bool EnterThread() noexcept override;
    void LeaveThread() noexcept override;
    const wchar_t* WindowName() const noexcept override;
    bool ProcessOwnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT& result) noexcept override;

    // WM_COPYDATA
    //   wParam: the window that receives the reply
    //   lParam: COPYDATASTRUCT holding a content request
    //   result: the callback's HRESULT, E_INVALIDARG for a malformed request,
    //           E_FAIL when its answer cannot be sent or the requester's window
    //           did not take it in time; 0 for other dwData
    LRESULT OnCopyData(HWND replyTo, const COPYDATASTRUCT* data) noexcept;
};

extern CVtlsSrvAdviseManager g_SrvAdviseManager;

}  // namespace vtls
