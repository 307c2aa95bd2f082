// The process's end of change notification and content replies: one hidden
// window of class "Vantrel_FsNotifyWndClass" on a worker thread of its own.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

#include "channel/window_object.h"
#include "channel/window_thread.h"
#include "frame/critical_section.h"
#include "frame/heap_vector.h"
#include "frame/unique_resource.h"

namespace vtls {

class CFsNotifyManager final : public CWindowImplBaseT {
public:
    CFsNotifyManager() noexcept = default;
    ~CFsNotifyManager();

    // Starts the worker thread and waits until its window exists; S_OK at once
    // when it runs already, E_OUTOFMEMORY when the semaphore or thread cannot be made.
    [[nodiscard]] HRESULT Start() noexcept;
    // Destroys the window on the worker thread, waits for the thread to end, and
    // releases the semaphore and any reply not taken. Listeners and pending
    // changes stay for the next role.
    void Stop() noexcept;

    bool ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result,
                              DWORD mapId) noexcept override;
    void OnFinalMessage(HWND window) noexcept override;

    // Listener windows of this process.
    [[nodiscard]] HRESULT Register(HWND window) noexcept;
    [[nodiscard]] HRESULT Revoke(HWND window) noexcept;

    // Change records (shell-allocator memory). The queue owns a record once
    // QueueRecord returned true.
    [[nodiscard]] bool QueueRecord(std::uint8_t* record) noexcept;
    void Flush() noexcept;
    void SetFlushTimer() noexcept;
    // Sends one record to every listener of this process.
    void Dispatch(std::uint8_t* record) noexcept;
    // Delivers a batch that passed validation (or this process's own).
    void DeliverBatch(std::uint8_t* batch) noexcept;

    // The content of a folder, asked of the server process.
    [[nodiscard]] HRESULT GetContent(LPCITEMIDLIST folder, DWORD value, CIDA** content) noexcept;

private:
    static unsigned __stdcall WorkerThreadProc(void* self);
    void RunWorker() noexcept;

    // WM_COPYDATA
    //   wParam: the sending window, not examined
    //   lParam: COPYDATASTRUCT: a content reply or a change batch
    //   result: TRUE
    LRESULT OnCopyData(const COPYDATASTRUCT* data) noexcept;
    void KeepContentReply(const COPYDATASTRUCT& data) noexcept;
    // WM_TIMER
    //   wParam: timer id; 1 is the deferred flush
    //   result: 0
    LRESULT OnTimer(UINT_PTR timerId) noexcept;
    // WM_VTLS_UPDATEICONS
    //   lParam: an item identifier list from the shell allocator, freed here
    //   result: 0
    LRESULT OnUpdateIcons(LPITEMIDLIST folder) noexcept;

    void BroadcastBatch(std::uint8_t* batch) noexcept;
    // Takes the reply under m_lock; null when none came.
    void* TakeReply(DWORD& size) noexcept;

    HeapVector<std::uint8_t*> m_pending;  // change records posted, not yet flushed; owned
    CriticalSection m_lock;
    HeapVector<HWND> m_listeners;  // ascending by the handle's 32-bit value
    WindowThread m_thread;         // m_hThread and m_dwThreadId
    UniqueHandle m_hRequestSemaphore;
    BOOL m_bAwaitingReply = FALSE;
    void* m_pReply = nullptr;  // CoTaskMemAlloc
    DWORD m_cbReply = 0;
};

extern CFsNotifyManager g_FsNotifyManager;

}  // namespace vtls
