// The thread that owns one hidden window: it makes the window, runs its
// messages, and ends when the window is gone.
#pragma once

#include <windows.h>

#include "base/unique_resource.h"

namespace vtls {

// Wine copies a WM_COPYDATA onto the receiving thread's stack, so window threads
// reserve well above the largest message the library sends; reserved address
// space costs nothing until used, but 32-bit processes have little of it.
inline constexpr SIZE_T kWindowThreadStackReservation = 8u * 1024u * 1024u;

// How long a start waits for the new thread to make its window, and a stop for
// the thread to end. Generous: both normally take milliseconds.
inline constexpr DWORD kWindowThreadWaitMs = 10000;

class WindowThread {
public:
    // Starts body(argument) on a new thread and waits until it has called
    // SignalReady() or ended. False if the thread could not be started. The new
    // thread holds a reference on the library, which it gives back as it ends
    // (ExitWindowThread): a process that frees the library while a window of it
    // still exists must not have that window's messages run in unmapped code.
    [[nodiscard]] bool Start(unsigned(__stdcall* body)(void*), void* argument) noexcept;
    // Waits (bounded) for the thread to end and releases it.
    void Join() noexcept;

    [[nodiscard]] bool Running() const noexcept { return m_thread.valid(); }
    [[nodiscard]] DWORD ThreadId() const noexcept { return m_threadId; }

    // Called on the new thread once its window exists (or cannot be made).
    void SignalReady() noexcept;

private:
    UniqueHandle m_thread;
    UniqueHandle m_ready;
    DWORD m_threadId = 0;
};

// The message loop of a window thread: until the quit that the window's
// destruction posts.
void RunMessageLoop() noexcept;

// The last call of a window thread's body: gives back the thread's reference on
// the library and ends the thread, which may unload the library.
[[noreturn]] void ExitWindowThread() noexcept;

}  // namespace vtls
