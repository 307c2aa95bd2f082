// vtls watch: takes the client role and prints every change the library
// delivers to a listener window of this process.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "VantrelSh.h"
#include "arguments.h"
#include "change_listener.h"
#include "client_support.h"
#include "commands.h"
#include "console.h"

namespace vtls::tool {
namespace {

constexpr const char* kUsage =
    "usage: vtls watch [--seconds N] [--count K]\n"
    "\n"
    "Takes the library's client role, registers a hidden listener window and\n"
    "prints each change message it receives: the time, the message\n"
    "(WM_VTLS_FSNOTIFY, or WM_VTLS_FSNOTIFY_PRIVATE), the event code with its\n"
    "SHCNE_ name, list 1 and list 2 as names, and the number of extra bytes.\n"
    "The first line ends in \"ready\" once changes can arrive.\n"
    "\n"
    "  --seconds N  stop after N seconds (default: run until Ctrl+C)\n"
    "  --count K    stop after K changes\n";

// N * 1000 must stay below INFINITE.
constexpr unsigned long kMaxSeconds = 4294967;

struct Options {
    DWORD limitMs = INFINITE;
    unsigned long count = 0;  // 0: no limit
};


enum class Ending { kCount, kStopped, kTimeLimit, kFailed };

// Pumps this thread's messages, which is where the library's deliveries to the
// listener window run, until the count, Ctrl+C or the time limit.
Ending Pump(const ChangeListener& listener, HANDLE stop, const Options& options) {
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (options.count != 0 && listener.Received() >= options.count) {
            return Ending::kCount;
        }
        DWORD wait = INFINITE;
        if (options.limitMs != INFINITE) {
            const ULONGLONG elapsed = GetTickCount64() - start;
            if (elapsed >= options.limitMs) {
                return Ending::kTimeLimit;
            }
            wait = static_cast<DWORD>(options.limitMs - elapsed);
        }
        const DWORD woke = MsgWaitForMultipleObjectsEx(1, &stop, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (woke == WAIT_OBJECT_0) {
            return Ending::kStopped;
        }
        if (woke == WAIT_TIMEOUT) {
            return Ending::kTimeLimit;
        }
        if (woke == WAIT_FAILED) {
            return Ending::kFailed;
        }
    }
}

const char* EndingText(Ending ending) {
    switch (ending) {
        case Ending::kCount: return "count reached";
        case Ending::kStopped: return "Ctrl+C";
        case Ending::kTimeLimit: return "time limit reached";
        case Ending::kFailed: break;
    }
    return "wait failed";
}

int Watch(const Options& options) {
    const StopSignal stop;
    if (!stop.Ready()) {
        Err(Format("vtls watch: cannot set up Ctrl+C handling (error %lu)\n", GetLastError()));
        return kExitFailure;
    }
    const ClientRole role;
    if (FAILED(role.Result())) {
        Err(Format("vtls watch: VtlsCliInitialize failed: 0x%08lX\n", static_cast<unsigned long>(role.Result())));
        return kExitFailure;
    }
    if (!role.WaitForNotifyWindow()) {
        Err(Format("vtls watch: the notify window did not appear within %lu ms\n", kNotifyWindowWaitMs));
        return kExitFailure;
    }
    std::string error;
    const std::unique_ptr<ChangeListener> listener =
        ChangeListener::Create([](const std::string& line) { OutLine(Now() + "  " + line + "\n"); }, error);
    if (!listener) {
        Err("vtls watch: " + error + "\n");
        return kExitFailure;
    }
    OutLine(Format("vtls watch: listening in process %lu; ready\n", GetCurrentProcessId()));
    const Ending ending = Pump(*listener, stop.Event(), options);
    const unsigned received = listener->Received();
    OutLine(Format("vtls watch: %s; %u change%s received; stopping\n", EndingText(ending), received,
                received == 1 ? "" : "s"));
    return ending == Ending::kFailed ? kExitFailure : kExitOk;
}

}  // namespace

int RunWatch(int argc, wchar_t** argv) {
    Options options;
    ArgumentReader arguments("watch", kUsage);
    arguments.Whole(L"--seconds", 0, kMaxSeconds, [&](unsigned long n) { options.limitMs = static_cast<DWORD>(n * 1000); });
    arguments.Whole(L"--count", 1, 0xFFFFFFFFul, [&](unsigned long n) { options.count = n; });
    return arguments.Run(argc, argv, [&] { return Watch(options); });
}

}  // namespace vtls::tool
