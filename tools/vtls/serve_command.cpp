// vtls serve: takes the server role and answers content requests from the
// sample OPC namespace until Ctrl+C, a stop event or a time limit.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <memory>
#include <mutex>
#include <string>

#include "VantrelSh.h"
#include "arguments.h"
#include "client_support.h"
#include "commands.h"
#include "console.h"
#include "base/unique_resource.h"
#include "sample_namespace.h"

namespace vtls::tool {
namespace {

constexpr const char* kUsage =
    "usage: vtls serve [--seconds N] [--stop-event NAME] [--quiet]\n"
    "\n"
    "Takes the library's server role and answers content requests of client\n"
    "processes from a built-in sample OPC namespace: a network of hosts, their\n"
    "OPC servers, and the servers' branches and items. The first line of output\n"
    "ends in \"ready\" once the server channel window exists; then each request\n"
    "is logged as: time, parent path, request value, and the number of children\n"
    "answered or the HRESULT of the refusal.\n"
    "\n"
    "  --seconds N        stop after N seconds (default: run until Ctrl+C)\n"
    "  --stop-event NAME  also stop once the named event is set (for scripts:\n"
    "                     not every console delivers Ctrl+C)\n"
    "  --quiet            do not log each request\n"
    "\n"
    "Request values: 0 lists all children, 1 only folders (hosts, servers,\n"
    "branches); any other value is refused with E_INVALIDARG (0x80070057).\n"
    "A path through an item the sample does not hold is refused with\n"
    "0x80070003 (ERROR_PATH_NOT_FOUND).\n";

// N * 1000 must stay below INFINITE.
constexpr unsigned long kMaxSeconds = 4294967;
// The library makes its window on its own thread a moment after taking the role.
constexpr DWORD kWindowWaitMs = 5000;
constexpr DWORD kWindowPollMs = 10;

struct Options {
    DWORD limitMs = INFINITE;
    std::wstring stopEvent;
    bool quiet = false;
};

// The content callback takes no context argument, so
// what they need lives here for the one server a process runs.
std::atomic<const SampleNamespace*> g_sample{nullptr};
std::atomic<bool> g_quiet{false};
std::atomic<unsigned> g_answered{0};
std::atomic<unsigned> g_refused{0};
// Requests are logged from the library's channel thread, the rest from the main thread.
std::mutex g_outputLock;

void Line(std::FILE* stream, const std::string& text) {
    const std::lock_guard<std::mutex> hold(g_outputLock);
    Print(stream, text);
    std::fflush(stream);
}

std::string LoggedPath(const SampleNamespace& sample, LPCITEMIDLIST parent) {
    const std::wstring below = PathNames(parent);
    return ToUtf8(below.empty() ? sample.Network().name : sample.Network().name + L"\\" + below);
}

HRESULT WINAPI AnswerContent(LPCITEMIDLIST parent, DWORD value, HGLOBAL* content) noexcept {
    // Nothing may unwind into the library's thread.
    try {
        const SampleNamespace* sample = g_sample.load();
        if (sample == nullptr) {
            return E_UNEXPECTED;
        }
        ContentAnswer answer = sample->Content(parent, value);
        if (!g_quiet.load()) {
            const std::string outcome = SUCCEEDED(answer.result)
                                            ? Format("%u children", answer.children)
                                            : Format("refused 0x%08lX", static_cast<unsigned long>(answer.result));
            Line(stdout, Format("%s  %s  value %lu  %s\n", Now().c_str(), LoggedPath(*sample, parent).c_str(),
                                static_cast<unsigned long>(value), outcome.c_str()));
        }
        if (answer.result != S_OK) {
            ++g_refused;
            return answer.result;
        }
        ++g_answered;
        *content = answer.block.release();
        return S_OK;
    } catch (...) {
        ++g_refused;
        return E_OUTOFMEMORY;
    }
}

// A top-level window of the server channel that belongs to process `owner`
// (or, with `others`, to any process but it).
HWND FindChannelWindow(DWORD owner, bool others) {
    for (HWND window = nullptr;;) {
        window = FindWindowExW(nullptr, window, VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME);
        if (window == nullptr) {
            return nullptr;
        }
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if ((process == owner) != others) {
            return window;
        }
    }
}

bool WaitForOwnWindow() {
    const DWORD self = GetCurrentProcessId();
    const ULONGLONG start = GetTickCount64();
    while (FindChannelWindow(self, false) == nullptr) {
        if (GetTickCount64() - start >= kWindowWaitMs) {
            return false;
        }
        Sleep(kWindowPollMs);
    }
    return true;
}


// Ends the role however RunServe leaves.
struct ServerRole {
    ServerRole() = default;
    ServerRole(const ServerRole&) = delete;
    ServerRole& operator=(const ServerRole&) = delete;
    ~ServerRole() { VtlsTerminate(); }
};

int Serve(const Options& options, const SampleNamespace& sample) {
    const StopSignal stop;
    if (!stop.Ready()) {
        Err(Format("vtls serve: cannot set up Ctrl+C handling (error %lu)\n", GetLastError()));
        return kExitFailure;
    }
    const UniqueHandle stopRequest(options.stopEvent.empty() ? nullptr
                                                             : CreateEventW(nullptr, TRUE, FALSE, options.stopEvent.c_str()));
    if (!options.stopEvent.empty() && !stopRequest) {
        Err(Format("vtls serve: cannot make the stop event (error %lu)\n", GetLastError()));
        return kExitFailure;
    }
    if (const HWND other = FindChannelWindow(GetCurrentProcessId(), true)) {
        DWORD process = 0;
        GetWindowThreadProcessId(other, &process);
        Err(Format("vtls serve: warning: process %lu serves already; clients reach whichever window they find "
                   "first\n",
                   process));
    }
    g_sample = &sample;
    g_quiet = options.quiet;
    const HRESULT started = VtlsSrvInitialize(AnswerContent);
    if (FAILED(started)) {
        g_sample = nullptr;
        Err(Format("vtls serve: VtlsSrvInitialize failed: 0x%08lX\n", static_cast<unsigned long>(started)));
        return kExitFailure;
    }
    int exitCode = kExitOk;
    {
        const ServerRole role;
        if (!WaitForOwnWindow()) {
            Err(Format("vtls serve: the server channel window did not appear within %lu ms\n", kWindowWaitMs));
            exitCode = kExitFailure;
        } else {
            const SampleCounts& counts = sample.Counts();
            Line(stdout, Format("vtls serve: serving the sample OPC namespace (%u hosts, %u servers, %u branches, "
                                "%u items), process %lu; ready\n",
                                counts.hosts, counts.servers, counts.branches, counts.items,
                                GetCurrentProcessId()));
            Line(stdout, options.limitMs == INFINITE
                             ? std::string("vtls serve: Ctrl+C stops\n")
                             : Format("vtls serve: stops after %lu s or on Ctrl+C\n", options.limitMs / 1000));
            const HANDLE stops[] = {stop.Event(), stopRequest.get()};
            const DWORD waited = WaitForMultipleObjects(stopRequest ? 2 : 1, stops, FALSE, options.limitMs);
            Line(stdout, Format("vtls serve: %s; stopping\n", waited == WAIT_OBJECT_0       ? "Ctrl+C"
                                                             : waited == WAIT_OBJECT_0 + 1 ? "stop event set"
                                                             : waited == WAIT_TIMEOUT     ? "time limit reached"
                                                                                          : "wait failed"));
            if (waited == WAIT_FAILED) {
                exitCode = kExitFailure;
            }
        }
    }
    // The role is left: the channel window is gone and no request reaches the callback.
    g_sample = nullptr;
    Line(stdout, Format("vtls serve: stopped; answered %u requests, refused %u\n", g_answered.load(),
                        g_refused.load()));
    return exitCode;
}

}  // namespace

int RunServe(int argc, wchar_t** argv) {
    Options options;
    ArgumentReader arguments("serve", kUsage);
    arguments.Flag(L"--quiet", options.quiet);
    arguments.Value(L"--stop-event", "an event name", [&](const wchar_t* name) {
        options.stopEvent = name;
        return !options.stopEvent.empty();
    });
    arguments.Whole(L"--seconds", 0, kMaxSeconds, [&](unsigned long n) { options.limitMs = static_cast<DWORD>(n * 1000); });
    return arguments.Run(argc, argv, [&] {
        const std::unique_ptr<SampleNamespace> sample = SampleNamespace::Create();
        if (!sample) {
            Err("vtls serve: cannot build the sample namespace: VtlsCreateID failed\n");
            return kExitFailure;
        }
        return Serve(options, *sample);
    });
}

}  // namespace vtls::tool
