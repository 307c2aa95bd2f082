// Sends to windows of other threads and processes, which may hang: every send
// has a bound, and a window that once let its bound pass is marked hung and
// gets a very short bound until it answers again, so a hung peer costs its
// sender one bound rather than one per message.
#pragma once

#include <windows.h>

namespace vtls {

enum class SendOutcome {
    kAnswered,  // the window's procedure returned; result holds its LRESULT
    kTimedOut,  // no answer within the bound, or the window's thread is hung
    kFailed,    // no such window (any more)
};

struct SendResult {
    SendOutcome outcome;
    LRESULT result;
    // The window had been marked hung and answered a WM_NULL again: whatever
    // message it was handling when it let its bound pass has returned.
    bool answeredAgain;
};

// SendMessageTimeoutW with SMTO_NORMAL | SMTO_ABORTIFHUNG: the calling thread
// still takes messages sent to its own windows while it waits, as SendMessageW
// would (a listener that asks for content while a change is delivered to it
// needs its reply taken meanwhile).
[[nodiscard]] SendResult SendBounded(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                     DWORD boundMs) noexcept;

// Whether a window let its bound pass and has not answered since.
[[nodiscard]] bool IsMarkedHung(HWND window) noexcept;

}  // namespace vtls
