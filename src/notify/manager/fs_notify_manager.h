// The process's end of change notification and content replies: one hidden
// window of class "Vantrel_FsNotifyWndClass" on a worker thread of its own.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

#include "base/threaded_window.h"
#include "base/critical_section.h"
#include "base/heap_vector.h"
#include "base/pumping_lock.h"
#include "base/unique_resource.h"
#include "notify/delivery_block.h"
#include "notify/pending_records.h"

namespace vtls {

class CFsNotifyManager final : public CThreadedWindow {
public:
    CFsNotifyManager() noexcept;
    ~CFsNotifyManager();

    // Starts the worker thread and waits until its window exists; S_OK at once
    // when it runs already, E_OUTOFMEMORY when the semaphore or thread cannot be made.
    [[nodiscard]] HRESULT Start() noexcept;
    // Destroys the window on the worker thread, waits for the thread to end, and
    // releases the semaphore and any reply not taken. Listeners and pending
    // changes stay for the next role.
    void Stop() noexcept;

    // Listener windows of this process.
    [[nodiscard]] HRESULT Register(HWND window) noexcept;
    [[nodiscard]] HRESULT Revoke(HWND window) noexcept;

    // False when the queue cannot take the record, which is then freed.
    [[nodiscard]] bool QueueRecord(notify::UniqueChangeRecord record) noexcept;

    // How a flush that finds another flush under way behaves.
    enum class FlushMode {
        kWait,      // waits its turn (taking sent messages meanwhile) and flushes
        kHandOver,  // leaves its records to the flush under way, which sends them next
    };
    // Sends every queued record, in queue order, to every process. Flushes are
    // serialised, so the records of one thread reach each listener in the order
    // they were posted, whichever thread or timer flushes them.
    void Flush(FlushMode mode = FlushMode::kWait) noexcept;
    void SetFlushTimer() noexcept;

    // Sends one record to every listener of this process; info, which the
    // listeners receive, lives in the same delivery block as the record.
    // Listeners that let their bound pass are noted in the lease and skipped
    // for the rest of its delivery, so a hung listener costs a batch one bound.
    void Dispatch(std::uint8_t* record, VTLSCHANGEINFO& info, DeliveryLease& lease) noexcept;
    // Delivers a batch that passed validation (or this process's own), taking
    // its block; null (no memory for the copy) delivers nothing.
    void DeliverBatch(DeliveryBlock* block) noexcept;

private:
    // The role is read once, as the window is made: it names the window for its whole life.
    const wchar_t* WindowName() const noexcept override;
    void OnWindowMade(HWND window) noexcept override;
    void OnFinalMessage(HWND window) noexcept override;
    bool ProcessOwnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                           LRESULT& result) noexcept override;

    // WM_COPYDATA
    //   wParam: the sending window; for a content reply, the server's channel window
    //   lParam: COPYDATASTRUCT: a content reply (handed to the content client) or a change batch
    //   result: TRUE
    LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT* data) noexcept;
    // A batch from another process, on the worker thread.
    void DeliverReceivedBatch(std::uint8_t* batch, std::size_t size) noexcept;
    // WM_TIMER
    //   wParam: timer id; 1 is the deferred flush
    //   result: 0
    LRESULT OnTimer(UINT_PTR timerId) noexcept;
    // WM_VTLS_UPDATEICONS
    //   lParam: an item identifier list from the shell allocator, freed here
    //   result: 0
    LRESULT OnUpdateIcons(LPITEMIDLIST folder) noexcept;

    // Under m_flushLock: packs the queue into batches and sends them, one at a time.
    void FlushQueued() noexcept;
    // The next batch of at most one message's size, made of the first of the
    // next `records` queued records, which are taken off the queue and counted
    // off; null when none are left.
    [[nodiscard]] notify::UniqueChangeRecord TakeBatch(std::size_t& records) noexcept;
    void BroadcastBatch(std::uint8_t* batch) noexcept;

    notify::PendingRecords m_pending;  // change records posted, not yet flushed
    CriticalSection m_lock;        // m_pending and m_listeners
    HeapVector<HWND> m_listeners;  // ascending by the handle's 32-bit value

    // Serialises flushes; the thread that holds it sends every batch asked for
    // meanwhile before it leaves.
    PumpingLock m_flushLock;
    volatile LONG m_flushRequested = 0;
    DWORD m_flushOwner = 0;  // thread id of the holder, 0 when none; atomic accesses

    // Worker thread only: batches from other processes that arrived while a
    // delivery waited on a listener, delivered after it in arrival order.
    int m_deliveryDepth = 0;
    HeapVector<DeliveryBlock*> m_deferredBatches;
};

extern CFsNotifyManager g_FsNotifyManager;

}  // namespace vtls
