// What the client commands (browse, watch, notify) share: the client role,
// Ctrl+C, timestamps and whole-number arguments.
#pragma once

#include <windows.h>

#include <string>

#include "base/unique_resource.h"

namespace vtls::tool {

// The library creates a role's windows on threads of its own a moment after
// the role is taken; this is how long a command waits for its notify window.
inline constexpr DWORD kNotifyWindowWaitMs = 5000;

// The client role for one command: taken on construction, left on destruction.
class ClientRole {
public:
    ClientRole() noexcept;
    ClientRole(const ClientRole&) = delete;
    ClientRole& operator=(const ClientRole&) = delete;
    ~ClientRole();

    [[nodiscard]] HRESULT Result() const noexcept { return result_; }
    // Content replies and change batches reach the process only through its
    // notify window, so a command waits for it before it asks or listens.
    [[nodiscard]] bool WaitForNotifyWindow(DWORD timeoutMs = kNotifyWindowWaitMs) const noexcept;

private:
    HRESULT result_;
};

// The process's own top-level window of the given class and name, or null.
[[nodiscard]] HWND FindOwnWindow(const wchar_t* className, const wchar_t* windowName) noexcept;

// A manual-reset event that Ctrl+C and Ctrl+Break set, for as long as this lives.
// One at a time per process: the console handler takes no context.
class StopSignal {
public:
    StopSignal() noexcept;
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;
    ~StopSignal();

    // False when the event or the handler could not be set up.
    [[nodiscard]] bool Ready() const noexcept { return event_ && installed_; }
    [[nodiscard]] HANDLE Event() const noexcept { return event_.get(); }

private:
    UniqueHandle event_;
    bool installed_ = false;
};

// Local time as HH:MM:SS.mmm.
[[nodiscard]] std::string Now();

// A whole number in decimal, or in hex with 0x, up to max; nothing else.
[[nodiscard]] bool ParseWhole(const wchar_t* text, unsigned long max, unsigned long& value) noexcept;

}  // namespace vtls::tool
