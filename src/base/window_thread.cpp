#include "base/window_thread.h"

#include <process.h>

namespace vtls {

bool WindowThread::Start(unsigned(__stdcall* body)(void*), void* argument) noexcept {
    ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ready_) {
        return false;
    }
    // The thread's own reference on the library, given back by ExitWindowThread.
    HMODULE library = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ExitWindowThread),
                            &library)) {
        ready_.reset();
        return false;
    }
    unsigned id = 0;
    thread_.reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, static_cast<unsigned>(kWindowThreadStackReservation), body, argument,
                       STACK_SIZE_PARAM_IS_A_RESERVATION, &id)));
    if (!thread_) {
        FreeLibrary(library);
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

void ExitWindowThread() noexcept {
    HMODULE library = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ExitWindowThread), &library);
    FreeLibraryAndExitThread(library, 0);
}

}  // namespace vtls
