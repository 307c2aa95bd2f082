#include "base/bounded_send.h"

#include "VantrelSh.h"
#include "base/critical_section.h"

namespace vtls {
namespace {

// Windows that let their bound pass. Few at any time: hung peers are rare, and
// the oldest mark gives way when the table is full (that window then costs one
// more full bound).
class HungWindows {
public:
    [[nodiscard]] bool Contains(HWND window) noexcept {
        ScopedLock lock(m_lock);
        return IndexOf(window) < kCapacity;
    }
    void Mark(HWND window) noexcept {
        ScopedLock lock(m_lock);
        if (IndexOf(window) < kCapacity) {
            return;
        }
        m_windows[m_next] = window;
        m_next = (m_next + 1) % kCapacity;
    }
    void Unmark(HWND window) noexcept {
        ScopedLock lock(m_lock);
        if (const std::size_t at = IndexOf(window); at < kCapacity) {
            m_windows[at] = nullptr;
        }
    }

private:
    static constexpr std::size_t kCapacity = 64;
    std::size_t IndexOf(HWND window) const noexcept {
        std::size_t at = 0;
        while (at < kCapacity && m_windows[at] != window) {
            ++at;
        }
        return at;
    }

    CriticalSection m_lock;
    HWND m_windows[kCapacity] = {};
    std::size_t m_next = 0;
};

HungWindows g_hungWindows;

// A send that did not come back: timed out (or aborted because the window's
// thread is hung) while the window exists, or failed because it does not.
SendOutcome FailureOf(HWND window) noexcept {
    const DWORD error = GetLastError();
    if (error == ERROR_INVALID_WINDOW_HANDLE || !IsWindow(window)) {
        return SendOutcome::kFailed;
    }
    return SendOutcome::kTimedOut;
}

}  // namespace

bool IsMarkedHung(HWND window) noexcept { return g_hungWindows.Contains(window); }

SendResult SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD boundMs) noexcept {
    constexpr UINT kFlags = SMTO_NORMAL | SMTO_ABORTIFHUNG;
    DWORD_PTR result = 0;
    bool answeredAgain = false;
    if (g_hungWindows.Contains(window)) {
        // A cheap question first: only a window that answers it again is given
        // the full bound for the real message.
        SetLastError(0);
        if (SendMessageTimeoutW(window, WM_NULL, 0, 0, kFlags, VTLS_HUNG_PEER_TIMEOUT_MS, &result) == 0) {
            const SendOutcome outcome = FailureOf(window);
            if (outcome == SendOutcome::kFailed) {
                g_hungWindows.Unmark(window);
            }
            return {outcome, 0, false};
        }
        g_hungWindows.Unmark(window);
        answeredAgain = true;
    }
    SetLastError(0);
    if (SendMessageTimeoutW(window, message, wParam, lParam, kFlags, boundMs, &result) != 0) {
        return {SendOutcome::kAnswered, static_cast<LRESULT>(result), answeredAgain};
    }
    const SendOutcome outcome = FailureOf(window);
    if (outcome == SendOutcome::kTimedOut) {
        g_hungWindows.Mark(window);
    }
    return {outcome, 0, answeredAgain};
}

}  // namespace vtls
