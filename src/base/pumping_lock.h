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
    PumpingLock() noexcept : m_released(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
        InitializeCriticalSectionEx(&m_section, 0, CRITICAL_SECTION_NO_DEBUG_INFO);
    }
    ~PumpingLock() { DeleteCriticalSection(&m_section); }
    PumpingLock(const PumpingLock&) = delete;
    PumpingLock& operator=(const PumpingLock&) = delete;

    [[nodiscard]] bool TryEnter() noexcept { return TryEnterCriticalSection(&m_section) != FALSE; }

    void Enter() noexcept {
        if (TryEnter()) {
            return;
        }
        InterlockedIncrement(&m_waiters);
        while (!TryEnter()) {
            // Woken by a release or by a sent message; the period only guards
            // against a wake-up lost to another waiter that took the lock first.
            const HANDLE released = m_released.get();
            const DWORD woken = MsgWaitForMultipleObjectsEx(released != nullptr ? 1 : 0, &released, kRecheckMs,
                                                            QS_SENDMESSAGE, 0);
            if (woken == WAIT_OBJECT_0 + (released != nullptr ? 1 : 0)) {
                MSG message;
                PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
            }
        }
        InterlockedDecrement(&m_waiters);
    }

    void Leave() noexcept {
        LeaveCriticalSection(&m_section);
        if (InterlockedCompareExchange(&m_waiters, 0, 0) != 0 && m_released) {
            SetEvent(m_released.get());
        }
    }

private:
    static constexpr DWORD kRecheckMs = 50;
    CRITICAL_SECTION m_section;
    UniqueHandle m_released;
    volatile LONG m_waiters = 0;
};

}  // namespace vtls
