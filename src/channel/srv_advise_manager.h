// The server role's channel: a hidden window that answers content requests
// from shell-side processes through the server's content callback.
#pragma once

#include <windows.h>

#include "base/window_object.h"
#include "base/window_thread.h"
#include "base/critical_section.h"

namespace vtls {

class CVtlsSrvAdviseManager final : public CWindowImplBaseT {
public:
    CVtlsSrvAdviseManager() noexcept = default;
    ~CVtlsSrvAdviseManager() = default;

    // Starts the channel thread and waits until its window exists; S_OK at once
    // when it runs already, E_OUTOFMEMORY when no thread could be started.
    [[nodiscard]] HRESULT Start() noexcept;
    // Destroys the window on its thread and waits for the thread to end.
    void Stop() noexcept;

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                              DWORD mapId) noexcept override;
    void OnFinalMessage(HWND window) noexcept override;

private:
    [[noreturn]] static unsigned __stdcall ThreadBody(void* self);
    void RunThread() noexcept;

    // WM_COPYDATA
    //   wParam: the window that receives the reply
    //   lParam: COPYDATASTRUCT holding a content request
    //   result: the callback's HRESULT, E_INVALIDARG for a malformed request,
    //           E_FAIL when its answer cannot be sent or the requester's window
    //           did not take it in time; 0 for other dwData
    LRESULT OnCopyData(HWND replyTo, const COPYDATASTRUCT* data) noexcept;

    WindowThread m_thread;
    CriticalSection m_lock;  // Stop's read of the window handle
};

extern CVtlsSrvAdviseManager g_SrvAdviseManager;

}  // namespace vtls
