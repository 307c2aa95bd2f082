// Calls a function and stops an exception that nothing inside it handles,
// reporting it to the caller instead of letting it end the process. GCC has no
// __try/__except; this is the same contract built on a frame-based handler.
#pragma once

#include <windows.h>

namespace vtls {

struct CallOutcome {
    bool faulted;  // an exception left the called function
    DWORD code;    // its exception code; 0 when the call returned
};

// Calls function(context). An exception raised inside the call that no handler
// inside it takes (an access violation, RaiseException, a stub that raises) is
// caught here: the call's frames are unwound, as __except does, and the outcome
// carries the exception's code. Exceptions that the callee handles itself never
// reach this guard. Any number of threads may use it at once, and guarded calls
// nest; while a call runs on x64, the thread's innermost guard is known to a
// vectored handler registered for that call alone.
[[nodiscard]] CallOutcome CallCatchingFaults(void (*function)(void* context), void* context) noexcept;

// The same for a lambda or other callable, invoked once with no arguments.
template <typename Callable>
[[nodiscard]] CallOutcome CallCatchingFaults(Callable& callable) noexcept {
    return CallCatchingFaults([](void* context) { (*static_cast<Callable*>(context))(); },
                              const_cast<void*>(static_cast<const void*>(&callable)));
}

}  // namespace vtls
