#include "base/window_thread.h"

#include <process.h>

namespace vtls {

bool WindowThread::Start(unsigned(__stdcall* body)(void*), void* argument) noexcept {
    m_ready.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_ready) {
        return false;
    }
    // The thread's own reference on the library, given back by ExitWindowThread.
    UniqueModule library;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&ExitWindowThread),
                            library.put())) {
        m_ready.reset();
        return false;
    }
    unsigned id = 0;
    m_thread.reset(reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, static_cast<unsigned>(kWindowThreadStackReservation), body, argument,
                       STACK_SIZE_PARAM_IS_A_RESERVATION, &id)));
    if (!m_thread) {
        m_ready.reset();
        return false;
    }
    static_cast<void>(library.release());  // the thread's now
    m_threadId = id;
    // Other processes can reach the window once this returns.
    const HANDLE waits[] = {m_ready.get(), m_thread.get()};
    WaitForMultipleObjects(2, waits, FALSE, kWindowThreadWaitMs);
    return true;
}

void WindowThread::SignalReady() noexcept { SetEvent(m_ready.get()); }

void WindowThread::Join() noexcept {
    if (m_thread) {
        WaitForSingleObject(m_thread.get(), kWindowThreadWaitMs);
    }
    m_thread.reset();
    m_ready.reset();
    m_threadId = 0;
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
