// Posting a change (SHChangeNotify2), packing the queue into batches, offering
// them to every process's notify window, and delivering them to listeners.
#include <cstddef>
#include <cstring>
#include <utility>

#include "VantrelSh.h"
#include "base/portable/byte_order.h"
#include "base/bounded_send.h"
#include "channel/role_state.h"
#include "itemid/id_lists.h"
#include "notify/portable/change_format.h"
#include "notify/manager/fs_notify_manager.h"
#include "notify/notify_window_walk.h"

namespace vtls {
namespace {

constexpr LONG kPrivateBit = static_cast<LONG>(VTLS_SHCNE_PRIVATE);
constexpr UINT kIgnoredFlag = 0x40000000;
constexpr UINT kTypeMask = 7;
// A private event's extra bytes carry, at byte 8, the address of its list 1.
constexpr std::size_t kPrivateSlotOffset = 8;

#ifndef _WIN64
// The layout listeners of 32-bit builds read.
static_assert(sizeof(VTLSCHANGEINFO) == 20);
static_assert(offsetof(VTLSCHANGEINFO, list1) == 4 && offsetof(VTLSCHANGEINFO, extra) == 12);
#endif

notify::UniqueChangeRecord BuildChangeRecord(LONG event, UINT flags, bool isPrivate, LPCITEMIDLIST list1, LPCITEMIDLIST list2,
                                             UINT cbExtra, const void* extra) noexcept {
    const auto listBytes = [](LPCITEMIDLIST list) -> std::size_t {
        return list == nullptr ? 0 : GetIDListSize(list) + 2;
    };
    const notify::ChangeFields fields{isPrivate,        static_cast<std::uint32_t>(event),
                                      flags,            Bytes(list1),
                                      listBytes(list1), Bytes(list2),
                                      listBytes(list2), static_cast<const std::uint8_t*>(extra),
                                      cbExtra};
    const auto size = notify::ChangeRecordSize(fields);
    if (!size) {
        return {};
    }
    notify::UniqueChangeRecord record = notify::AllocateChangeRecord(*size);
    if (record) {
        notify::WriteChangeRecord(record.get(), fields);
    }
    return record;
}

bool Contains(const HeapVector<HWND>& windows, HWND window) noexcept {
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (windows[i] == window) {
            return true;
        }
    }
    return false;
}

}  // namespace

bool CFsNotifyManager::QueueRecord(notify::UniqueChangeRecord record) noexcept {
    ScopedLock lock(m_lock);
    return m_pending.Push(std::move(record));
}

void CFsNotifyManager::Flush(FlushMode mode) noexcept {
    InterlockedExchange(&m_flushRequested, 1);
    if (__atomic_load_n(&m_flushOwner, __ATOMIC_RELAXED) == GetCurrentThreadId()) {
        // Asked from inside this thread's own flush (a listener that posts): the
        // flush under way sends it after its current batch, so nothing overtakes.
        return;
    }
    for (;;) {
        // A thread that handles a message sent by another thread may be the one a
        // flush under way is sending to: it must not wait for that flush.
        if (mode == FlushMode::kHandOver || InSendMessage()) {
            if (!m_flushLock.TryEnter()) {
                return;  // the holder sends what was asked before it leaves
            }
        } else {
            m_flushLock.Enter();
        }
        __atomic_store_n(&m_flushOwner, GetCurrentThreadId(), __ATOMIC_RELAXED);
        while (InterlockedExchange(&m_flushRequested, 0) != 0) {
            FlushQueued();
        }
        __atomic_store_n(&m_flushOwner, static_cast<DWORD>(0), __ATOMIC_RELAXED);
        m_flushLock.Leave();
        // Asked again after the last look but before leaving: whoever asked found
        // the lock held and left it to us.
        if (InterlockedCompareExchange(&m_flushRequested, 0, 0) == 0) {
            return;
        }
        mode = FlushMode::kHandOver;
    }
}

void CFsNotifyManager::FlushQueued() noexcept {
    // The records queued now; those queued meanwhile go with their own flush, so
    // posters that keep posting cannot keep this caller here.
    std::size_t records = 0;
    {
        ScopedLock lock(m_lock);
        records = m_pending.size();
    }
    // One batch at a time: the poster holds at most its queue and one batch.
    while (const notify::UniqueChangeRecord batch = TakeBatch(records)) {
        BroadcastBatch(batch.get());
    }
}

notify::UniqueChangeRecord CFsNotifyManager::TakeBatch(std::size_t& records) noexcept {
    ScopedLock lock(m_lock);
    while (records > 0 && !m_pending.empty()) {
        const std::size_t available = records < m_pending.size() ? records : m_pending.size();
        std::size_t bytes = notify::kBatchHeaderSize;
        std::size_t count = 0;
        while (count < available) {
            const std::size_t size = notify::RecordView(m_pending[count]).Size();
            if (bytes + size > VTLS_MAX_COPYDATA_BYTES && count > 0) {
                break;
            }
            bytes += size;
            ++count;
        }
        // A lone record above the bound cannot be sent at all; it is dropped, as
        // are the records of a batch that cannot be allocated.
        notify::UniqueChangeRecord batch =
            bytes <= VTLS_MAX_COPYDATA_BYTES ? notify::AllocateChangeRecord(bytes) : notify::UniqueChangeRecord();
        if (batch) {
            notify::WriteBatchHeader(batch.get(), static_cast<std::uint32_t>(bytes),
                                     static_cast<std::uint32_t>(count));
            std::size_t at = notify::kBatchHeaderSize;
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t size = notify::RecordView(m_pending[i]).Size();
                std::memcpy(batch.get() + at, m_pending[i], size);
                at += size;
            }
        }
        m_pending.DropFront(count);
        records -= count;
        if (batch) {
            return batch;
        }
    }
    return {};
}

void CFsNotifyManager::BroadcastBatch(std::uint8_t* batch) noexcept {
    const std::uint32_t size = itemid::LoadU32(batch + notify::kBatchSizeOffset);
    COPYDATASTRUCT data{VTLS_COPYDATA_CHANGES, size, batch};
    HeapVector<HWND> windows;
    CollectNotifyWindows(windows);
    const HWND self = Handle();
    for (std::size_t i = 0; i < windows.size(); ++i) {
        if (windows[i] == self) {
            // The own listeners get the batch directly, in the client role only.
            if (!g_bFsNotifyServer) {
                DeliverBatch(DeliveryBlock::Copy(batch, size, itemid::LoadU32(batch + notify::kBatchCountOffset)));
            }
            continue;
        }
        // Returns once that process has delivered the whole batch, or after the
        // bound: a hung process costs this flush one bound, later ones a WM_NULL.
        static_cast<void>(SendBounded(windows[i], WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                                      VTLS_BROADCAST_TIMEOUT_MS));
    }
}

void CFsNotifyManager::DeliverBatch(DeliveryBlock* block) noexcept {
    bool folderChanged = false;
    {
        DeliveryLease lease(block);
        if (!lease) {
            return;  // no memory to deliver from: the batch is lost here
        }
        std::uint8_t* batch = lease->Bytes();
        const std::uint32_t count = itemid::LoadU32(batch + notify::kBatchCountOffset);
        std::size_t at = notify::kBatchHeaderSize;
        for (std::uint32_t i = 0; i < count; ++i) {
            const notify::RecordView record(batch + at);
            if (record.Event() != 0) {
                Dispatch(batch + at, *lease->Info(i), lease);
                folderChanged |= (record.Event() & notify::kFolderChangeMask) != 0;
            }
            at += record.Size();
        }
    }
    if (folderChanged) {
        SHChangeNotify(0, SHCNF_FLUSH, nullptr, nullptr);
    }
}

void CFsNotifyManager::Dispatch(std::uint8_t* record, VTLSCHANGEINFO& info, DeliveryLease& lease) noexcept {
    const notify::RecordView view(record);
    info = VTLSCHANGEINFO{};
    info.event = static_cast<LONG>(view.Event());
    info.list1 = reinterpret_cast<LPCITEMIDLIST>(view.List1());
    info.list2 = reinterpret_cast<LPCITEMIDLIST>(view.List2());
    info.extra = view.Extra();
    info.cbExtra = view.ExtraSize();
    UINT message = WM_VTLS_FSNOTIFY;
    LPARAM parameter = reinterpret_cast<LPARAM>(&info);
    if (view.IsPrivate()) {
        // Posting made sure the extra bytes hold the slot.
        void* list1 = view.List1();
        std::memcpy(view.Extra() + kPrivateSlotOffset, &list1, sizeof(list1));
        message = WM_VTLS_FSNOTIFY_PRIVATE;
        parameter = reinterpret_cast<LPARAM>(view.Extra());
    }
    // Sent from a snapshot, without the lock: listeners may register, revoke and
    // post while a delivery runs.
    HeapVector<HWND> snapshot;
    {
        ScopedLock lock(m_lock);
        for (std::size_t i = 0; i < m_listeners.size(); ++i) {
            if (!snapshot.PushBack(m_listeners[i])) {
                break;  // deliver to what the snapshot holds
            }
        }
    }
    for (std::size_t i = 0; i < snapshot.size(); ++i) {
        const HWND listener = snapshot[i];
        if (Contains(lease.StillReading(), listener)) {
            continue;
        }
        // Bounded, so one hung listener holds up neither the others of this
        // process nor the poster waiting on the delivery.
        const SendResult sent = IsWindow(listener)
                                    ? SendBounded(listener, message, 0, parameter, VTLS_LISTENER_TIMEOUT_MS)
                                    : SendResult{SendOutcome::kFailed, 0, false};
        if (sent.answeredAgain || sent.outcome == SendOutcome::kFailed) {
            ReleaseKeptFor(listener);  // what it was reading when it hung is its no more
        }
        if (sent.outcome == SendOutcome::kTimedOut) {
            static_cast<void>(lease.StillReading().PushBack(listener));
        } else if (sent.outcome == SendOutcome::kFailed) {
            static_cast<void>(Revoke(listener));
        }
    }
}

}  // namespace vtls

extern "C" void WINAPI SHChangeNotify2(LONG event, UINT flags, LPCITEMIDLIST list1, LPCITEMIDLIST list2,
                                       const void* extra, UINT cbExtra) {
    using namespace vtls;
    flags &= ~kIgnoredFlag;
    if ((flags & kTypeMask) != 0) {
        return;  // only item identifier lists are understood
    }
    if (event != 0) {
        const bool isPrivate = (event & kPrivateBit) != 0;
        event &= ~kPrivateBit;
        if (isPrivate) {
            // The listener finds list 1's address in the extra bytes; without room
            // for it the event is dropped rather than written past its record.
            if (extra == nullptr || cbExtra < kPrivateSlotOffset + sizeof(void*)) {
                return;
            }
            const notify::UniqueChangeRecord record =
                BuildChangeRecord(event, flags, true, list1, list2, cbExtra, extra);
            if (record) {
                DeliveryLease lease(DeliveryBlock::Copy(record.get(), notify::RecordView(record.get()).Size(), 1));
                if (lease) {
                    g_FsNotifyManager.Dispatch(lease->Bytes(), *lease->Info(0), lease);
                }
            }
            return;
        }
        // A record the queue cannot take is dropped with its owner.
        if (notify::UniqueChangeRecord record = BuildChangeRecord(event, flags, false, list1, list2, cbExtra, extra)) {
            static_cast<void>(g_FsNotifyManager.QueueRecord(std::move(record)));
        }
    }
    if ((flags & VTLS_SHCNF_FLUSH) != 0) {
        g_FsNotifyManager.Flush();
        SHChangeNotify(0, SHCNF_FLUSH, nullptr, nullptr);
    } else if ((flags & VTLS_SHCNF_FLUSHNOWAIT) != 0) {
        g_FsNotifyManager.SetFlushTimer();
        SHChangeNotify(0, VTLS_SHCNF_FLUSHNOWAIT, nullptr, nullptr);
    }
}
