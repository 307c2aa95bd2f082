// A recursive lock whose waiters keep taking the messages other threads send
// them. A thread that waits for it may be the very thread a holder is sending
// to (a listener window's thread, say); with a plain critical section the two
// would wait on each other until the send's bound ran out.
#pragma once

#include <windows.h>

#include "base/critical_section.h"
#include "base/unique_resource.h"

namespace vtls {

class PumpingLock {
public:
    PumpingLock() noexcept : released_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        InitializeCriticalSectionEx(&section_, 0, CRITICAL_SECTION_NO_DEBUG_INFO);
    }
    ~PumpingLock() { DeleteCriticalSection(&section_); }
    PumpingLock(const PumpingLock&) = delete;
    PumpingLock& operator=(const PumpingLock&) = delete;

    [[nodiscard]] bool TryEnter() noexcept { return TryEnterCriticalSection(&section_) != FALSE; }

    void Enter() noexcept {
        if (TryEnter()) {
            return;
        }
        InterlockedIncrement(&waiters_);
        while (!TryEnter()) {
            // Woken by a release or by a sent message; the period only guards
            // against a wake-up lost to another waiter that took the lock first.
            const HANDLE released = released_.get();
            const DWORD woken = MsgWaitForMultipleObjectsEx(released != nullptr ? 1 : 0, &released, kRecheckMs,
                                                            QS_SENDMESSAGE, 0);
            if (woken == WAIT_OBJECT_0 + (released != nullptr ? 1 : 0)) {
                MSG message;
                PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            }
        }
        InterlockedDecrement(&waiters_);
    }

    void Leave() noexcept {
        LeaveCriticalSection(&section_);
        if (InterlockedCompareExchange(&waiters_, 0, 0) != 0 && released_) {
            SetEvent(released_.get());
        }
    }

private:
    static constexpr DWORD kRecheckMs = 50;
    CRITICAL_SECTION section_;
    UniqueHandle released_;
    volatile LONG waiters_ = 0;
};

}  // namespace vtls
