#include "channel/window_thread.h"

#include <process.h>

namespace vtls {

bool WindowThread::Start(unsigned(__stdcall* body)(void*), void* argument) noexcept {
    ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready_) {
        return false;
    }
    unsigned id = 0;
    thread_.reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, static_cast<unsigned>(kWindowThreadStackReservation), body, argument,
                       STACK_SIZE_PARAM_IS_A_RESERVATION, &id)));
    if (!thread_) {
        ready_.reset();
        return false;
    }
    threadId_ = id;
    // Other processes can reach the window once this returns.
    const HANDLE waits[] = {ready_.get(), thread_.get()};
    WaitForMultipleObjects(2, waits, FALSE, kWindowThreadWaitMs);
    return true;
}

void WindowThread::SignalReady() noexcept { SetEvent(ready_.get()); }

void WindowThread::Join() noexcept {
    if (thread_) {
        WaitForSingleObject(thread_.get(), kWindowThreadWaitMs);
    }
    thread_.reset();
    ready_.reset();
    threadId_ = 0;
}

void RunMessageLoop() noexcept {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        DispatchMessageW(&message);
    }
}

}  // namespace vtls
