// vtls watch: takes the client role and prints every change the library
// delivers to a listener window of this process.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <memory>
#include <string>

#include "VantrelSh.h"
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

// 1: run, 0: help printed, -1: bad arguments reported.
int ParseOptions(int argc, wchar_t** argv, Options& options) {
    for (int i = 0; i < argc; ++i) {
        const wchar_t* argument = argv[i];
        if (std::wcscmp(argument, L"--help") == 0 || std::wcscmp(argument, L"-h") == 0) {
            Out(kUsage);
            return 0;
        }
        const wchar_t* value = i + 1 < argc ? argv[i + 1] : nullptr;
        unsigned long number = 0;
        if (std::wcscmp(argument, L"--seconds") == 0) {
            if (!ParseWhole(value, kMaxSeconds, number)) {
                Err(Format("vtls watch: --seconds needs a whole number from 0 to %lu, not '%s'\n", kMaxSeconds,
                           value != nullptr ? ToUtf8(value).c_str() : ""));
                return -1;
            }
            options.limitMs = static_cast<DWORD>(number * 1000);
            ++i;
        } else if (std::wcscmp(argument, L"--count") == 0) {
            if (!ParseWhole(value, 0xFFFFFFFFul, number) || number == 0) {
                Err(Format("vtls watch: --count needs a whole number above 0, not '%s'\n",
                           value != nullptr ? ToUtf8(value).c_str() : ""));
                return -1;
            }
            options.count = number;
            ++i;
        } else {
            Err(Format("vtls watch: unexpected argument '%s'\n", ToUtf8(argument).c_str()));
            Err(kUsage);
            return -1;
        }
    }
    return 1;
}

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
    const int parsed = ParseOptions(argc, argv, options);
    if (parsed <= 0) {
        return parsed == 0 ? kExitOk : kExitUsage;
    }
    return Watch(options);
}

}  // namespace vtls::tool
