// vtls_probe: the tests' second process. It loads VantrelSh.dll itself, so a
// mode can also show what loading does to a fresh process, then does one
// mode's work and reports "key value..." lines. Modes that the tests start
// beside them get a ready and a go event: ready once set up, go to start (or,
// for a role holder, to leave the role and report).
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <memory>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "base/unique_resource.h"
#include "icons/icon_inspection.h"
#include "notify/portable/change_format.h"
#include "support/hidden_window.h"
#include "support/listener_window.h"
#include "support/malformed_messages.h"
#include "support/process_resources.h"

namespace {

using vtls::ComPtr;
using vtls::UniqueHandle;
using vtls::UniqueModule;
using vtls::test::Bytes;
using vtls::test::EventExtra;
using vtls::test::EventList;
using vtls::test::Hex;
using vtls::test::ListBytes;

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// The exports the modes call, bound at run time: the DLL is loaded when a mode
// says so, and a load can be measured or undone.
#define VTLS_PROBE_EXPORTS(X)                                                                                    \
    X(VtlsSrvInitialize, "VtlsSrvInitialize") X(VtlsCliInitialize, "VtlsCliInitialize")                       \
    X(VtlsTerminate, "VtlsTerminate") X(VtlsSHChangeNotifyRegister, "SHChangeNotifyRegister")                  \
    X(VtlsSHChangeNotifyRevoke, "SHChangeNotifyRevoke") X(SHChangeNotify2, "SHChangeNotify2")                  \
    X(VtlsCreateID, "VtlsCreateID") X(VtlsCreateWaitID, "VtlsCreateWaitID")                                    \
    X(VtlsCreateErrorID, "VtlsCreateErrorID") X(SHCreateCIDA, "SHCreateCIDA") X(VtlsSHAlloc, "SHAlloc")        \
    X(VtlsSHFree, "SHFree") X(ILStgWrite, "ILStgWrite") X(ILStgRead, "ILStgRead")                              \
    X(VtlsRegSaveStream, "VtlsRegSaveStream") X(VtlsRegOpenStream, "VtlsRegOpenStream")                        \
    X(VtlsGetContentInSync, "VtlsGetContentInSync") X(SHGetVersion, "SHGetVersion") X(SHIsNT, "SHIsNT")       \
    X(SHIsIntegratedIE, "SHIsIntegratedIE") X(SHIsWin2000, "SHIsWin2000")                                      \
    X(SHUseHighColorIcons, "SHUseHighColorIcons") X(SHExtractIcon, "SHExtractIcon")

struct Api {
#define VTLS_MEMBER(name, exported) decltype(&::name) name = nullptr;
    VTLS_PROBE_EXPORTS(VTLS_MEMBER)
#undef VTLS_MEMBER
    UniqueModule module;

    bool Load(const wchar_t* file = L"VantrelSh.dll") {
        module.reset(LoadLibraryW(file));
        bool all = module.valid();
#define VTLS_BIND(name, exported) all = all && (name = Export<decltype(name)>(module.get(), exported)) != nullptr;
        VTLS_PROBE_EXPORTS(VTLS_BIND)
#undef VTLS_BIND
        return all;
    }
};
Api g;

struct ItemListFree {
    void operator()(ITEMIDLIST* list) const noexcept { g.VtlsSHFree(list); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

LPCITEMIDLIST AsList(const Bytes& bytes) { return reinterpret_cast<LPCITEMIDLIST>(bytes.data()); }

Bytes GlobalBytes(HGLOBAL block) {
    const auto* at = static_cast<const std::uint8_t*>(GlobalLock(block));
    Bytes bytes = at ? Bytes(at, at + GlobalSize(block)) : Bytes{};
    GlobalUnlock(block);
    return bytes;
}

// What a mode gets: its arguments after the events, and the events.
struct Args {
    wchar_t** text;
    HANDLE ready;
    HANDLE go;
    [[nodiscard]] std::uint32_t Number(int i) const {
        return static_cast<std::uint32_t>(std::wcstoul(text[i], nullptr, 0));
    }
    [[nodiscard]] bool Go(DWORD timeoutMs = 60000) const {
        SetEvent(ready);
        return WaitForSingleObject(go, timeoutMs) == WAIT_OBJECT_0;
    }
};

// Waits for the event while this thread's windows take their messages.
DWORD WaitPumping(HANDLE event, DWORD timeoutMs) {
    for (const DWORD start = GetTickCount();;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return WAIT_TIMEOUT;
        const DWORD waited = MsgWaitForMultipleObjects(1, &event, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0 + 1) return waited;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

bool OwnWindowOf(const wchar_t* windowClass) {
    for (HWND window = FindWindowExW(nullptr, nullptr, windowClass, nullptr); window != nullptr;
         window = FindWindowExW(nullptr, window, windowClass, nullptr)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId()) return true;
    }
    return false;
}

// ---- Loading ---------------------------------------------------------------------

// What loading did to this fresh process, and what the library fixed at load:
// the process flags, the clipboard formats and the icon colour depth.
int LoadReport(const Args& args) {
    const UniqueModule shell(args.text[0] != nullptr ? LoadLibraryW(L"shell32.dll") : nullptr);
    const vtls::test::ProcessResources before = vtls::test::MeasureProcess();
    if (!g.Load()) return 1;
    const vtls::test::ProcessResources after = vtls::test::MeasureProcess();
    // Loaded now means loaded during attach: before it, or as one of the DLL's imports.
    std::printf("shell32-at-load %d\n", GetModuleHandleW(L"shell32.dll") != nullptr ? 1 : 0);
    std::printf("threads-added %d\n", static_cast<int>(after.threads - before.threads));
    std::printf("windows-added %d\n", static_cast<int>(after.topLevelWindows - before.topLevelWindows));
    DWORD platform = 0, major = 0, minor = 0;
    g.SHGetVersion(&platform, &major, &minor);
    std::printf("version %lu %lu %lu\nflags %d %d %d\n", platform, major, minor, g.SHIsNT(), g.SHIsIntegratedIE(),
                g.SHIsWin2000());
    // The library registers the data-transfer stream format although no export hands it out
    // (a global atom: the test that started this process has it already, so only "after" tells).
    std::printf("stream-format-after %d\nhigh-color %d\n", GlobalFindAtomW(L"OPCSTMFORMATDATATIME") != 0 ? 1 : 0,
                g.SHUseHighColorIcons());
    for (const char* name : {"VtlsGetItemIDFormat", "VtlsGetItemIDListFormat", "VtlsGetDataSourceFormat",
                             "VtlsGetDataSourceListFormat", "VtlsGetServerFormat", "VtlsGetTextFormat"}) {
        std::printf("%s %u\n", name, Export<UINT(WINAPI*)(void*)>(g.module.get(), name)(nullptr));
    }
    return 0;
}

// Loads and unloads the library many times; what stays behind is a leak. The
// shell stays loaded, as in every process that uses the library.
int LoadUnload(const Args& args) {
    const UniqueModule shell(LoadLibraryW(L"shell32.dll"));
    const wchar_t* const file = args.text[1] != nullptr ? args.text[1] : L"VantrelSh.dll";
    UniqueModule(LoadLibraryW(file));  // the first load settles the loader's own caches
    const vtls::test::ProcessResources before = vtls::test::MeasureProcess();
    for (std::uint32_t i = 0; i < args.Number(0); ++i) {
        if (!UniqueModule(LoadLibraryW(file))) return 1;
    }
    const vtls::test::ProcessResources after = vtls::test::MeasureProcess();
    const auto added = [](std::size_t from, std::size_t to) { return static_cast<long long>(to) - static_cast<long long>(from); };
    std::printf("handles-added %lld\npagefile-added %lld\nhandles-counted %d\n", added(before.handles, after.handles),
                added(before.pagefileBytes, after.pagefileBytes), before.handles > 0 ? 1 : 0);
    return 0;
}

// The icons of a module's group as this fresh process's copy of the library makes them.
int ExtractIcon(const Args& args) {
    if (!g.Load()) return 1;
    HICON icons[2] = {};
    std::printf("result 0x%08lX\n", static_cast<unsigned long>(g.SHExtractIcon(args.text[0], static_cast<INT>(args.Number(1)),
                                                                             &icons[0], &icons[1])));
    const char* const names[2] = {"large", "small"};
    for (int i = 0; i < 2; ++i) {
        if (icons[i] == nullptr) continue;
        const vtls::test::IconShape shape = vtls::test::ShapeOf(icons[i]);
        const vtls::test::FixtureImage image = vtls::test::IdentifyImage(icons[i]);
        std::printf("%s %d %d group %d image %d depth %d\n", names[i], shape.width, shape.height, image.group,
                    image.size, image.depth);
        DestroyIcon(icons[i]);
    }
    return 0;
}

// ---- Roles -------------------------------------------------------------------------

// How the server's content callback answers (the "late" one: value 1 just after
// the requester gave up, 3 refused, 5 slowly within the bound, others at once).
enum class Answer { kEcho, kRefuse, kFail, kNull, kMalformed, kSized, kSlow, kSlowRefuse, kLate };
Answer g_answer = Answer::kEcho;
LONG g_calls = 0;
LONG g_rootCalls = 0;
HANDLE g_quit = nullptr;

// One child named "child<value>" under the parent, as the tests build it too.
HGLOBAL EchoAnswer(LPCITEMIDLIST parent, DWORD value) {
    const GUID guid{value, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    const ItemList child(g.VtlsCreateID((L"child" + std::to_wstring(value)).c_str(), 5, value, &guid, 0, nullptr));
    LPCITEMIDLIST children[] = {child.get()};
    return g.SHCreateCIDA(parent, 1, children);
}

// A packed CIDA of exactly `total` bytes: one child made of items of at most 65,534 bytes.
HGLOBAL SizedAnswer(DWORD total) {
    const HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, total);
    if (block == nullptr) return nullptr;
    auto* bytes = static_cast<std::uint8_t*>(block);
    bytes[0] = 1;
    bytes[8] = 12;
    for (std::size_t at = 12, left = total - 14; left > 0;) {
        std::size_t item = std::min<std::size_t>(left, 65534);
        if (left - item == 1) item -= 1;  // never leave a 1-byte item
        vtls::itemid::StoreU16(bytes + at, static_cast<std::uint16_t>(item));
        at += item;
        left -= item;
    }
    return block;
}

HRESULT WINAPI ContentCallback(LPCITEMIDLIST parent, DWORD value, HGLOBAL* content) {
    InterlockedIncrement(&g_calls);
    if (parent == nullptr) InterlockedIncrement(&g_rootCalls);
    switch (g_answer) {
        case Answer::kRefuse: return S_FALSE;
        case Answer::kFail: return E_ACCESSDENIED;
        case Answer::kNull: *content = nullptr; return S_OK;
        case Answer::kMalformed:  // two children, one offset outside the block
            *content = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 16);
            static_cast<std::uint32_t*>(*content)[0] = 2;
            static_cast<std::uint32_t*>(*content)[2] = 0x7FFFFFF0;
            return S_OK;
        case Answer::kSized: *content = SizedAnswer(value); return S_OK;
        case Answer::kSlowRefuse: Sleep(1500); return S_FALSE;
        case Answer::kSlow: Sleep(1500); break;
        case Answer::kLate:
            if (value == 3) return S_FALSE;
            if (value == 1) WaitForSingleObject(g_quit, VTLS_CONTENT_TIMEOUT_MS + 400);
            if (value == 5) Sleep(1500);
            break;
        case Answer::kEcho: break;
    }
    *content = EchoAnswer(parent, value);
    return *content ? S_OK : E_OUTOFMEMORY;
}

// The role's listeners, numbered in the order the library delivers to them: by
// the handle's 32-bit value (Wine reuses the slots of destroyed windows).
std::vector<std::unique_ptr<vtls::test::ListenerWindow>> MakeListeners(std::uint32_t count) {
    std::vector<std::unique_ptr<vtls::test::ListenerWindow>> listeners;
    for (std::uint32_t i = 0; i < count; ++i) listeners.push_back(std::make_unique<vtls::test::ListenerWindow>());
    std::sort(listeners.begin(), listeners.end(), [](const auto& a, const auto& b) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(a->Handle())) <
               static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(b->Handle()));
    });
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        std::printf("register %zu 0x%08lX\n", i,
                    static_cast<unsigned long>(g.VtlsSHChangeNotifyRegister(listeners[i]->Handle())));
    }
    return listeners;
}

void PrintChanges(const char* kind, const std::vector<std::unique_ptr<vtls::test::ListenerWindow>>& listeners) {
    for (std::size_t i = 0; i < listeners.size(); ++i) {
        for (const auto& change : listeners[i]->changes) {
            std::printf("%s %zu %s\n", change.message == WM_VTLS_FSNOTIFY ? kind : "private", i, change.Line().c_str());
        }
    }
}

// "client" with a stalling listener: one more listener, on a thread of its own,
// stops inside its stall-at-th change until released ("hung-event" lines).
struct Stall {
    std::uint32_t at = 0;
    UniqueHandle stalled, release, resumed, registered, thread;
    std::vector<vtls::test::Change> changes;

    static DWORD WINAPI Run(void* parameter) {
        auto* self = static_cast<Stall*>(parameter);
        vtls::test::ListenerWindow window;
        window.onDelivery = [self, &window] {
            if (window.changes.size() + 1 != self->at) return;
            SetEvent(self->stalled.get());
            WaitForSingleObject(self->release.get(), 60000);
            SetEvent(self->resumed.get());
        };
        g.VtlsSHChangeNotifyRegister(window.Handle());
        SetEvent(self->registered.get());
        MSG message;
        while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
        g.VtlsSHChangeNotifyRevoke(window.Handle());
        self->changes = std::move(window.changes);
        return 0;
    }
};

// server <answer> | client <listeners> [<stall-at> <stalled> <release> <resumed>]:
// takes the role until go, then leaves it and reports.
int HoldRole(const Args& args, bool server) {
    if (!g.Load()) return 1;
    if (server) {
        const wchar_t* const names[] = {L"echo", L"refuse", L"fail",        L"null", L"malformed",
                                        L"sized", L"slow",  L"slow-refuse", L"late"};
        const auto found = std::find_if(std::begin(names), std::end(names),
                                        [&](const wchar_t* name) { return std::wcscmp(name, args.text[0]) == 0; });
        if (found == std::end(names)) return 2;
        g_answer = static_cast<Answer>(found - std::begin(names));
    }
    const HRESULT hr = server ? g.VtlsSrvInitialize(ContentCallback) : g.VtlsCliInitialize();
    std::printf("initialize 0x%08lX\n", static_cast<unsigned long>(hr));
    if (FAILED(hr)) return 1;
    g_quit = args.go;
    const auto listeners = MakeListeners(server || args.text[0] == nullptr ? 0 : args.Number(0));
    Stall stall;
    if (!server && args.text[0] != nullptr && args.text[1] != nullptr) {
        stall.at = args.Number(1);
        stall.stalled.reset(OpenEventW(EVENT_MODIFY_STATE, FALSE, args.text[2]));
        stall.release.reset(OpenEventW(SYNCHRONIZE, FALSE, args.text[3]));
        stall.resumed.reset(OpenEventW(EVENT_MODIFY_STATE, FALSE, args.text[4]));
        stall.registered.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        DWORD threadId = 0;
        stall.thread.reset(CreateThread(nullptr, 0, Stall::Run, &stall, 0, &threadId));
        if (!stall.thread || WaitForSingleObject(stall.registered.get(), 10000) != WAIT_OBJECT_0) return 1;
        SetEvent(args.ready);
        const DWORD waited = WaitPumping(args.go, 120000);
        PostThreadMessageW(threadId, WM_QUIT, 0, 0);
        WaitForSingleObject(stall.thread.get(), 10000);
        std::printf("quit-signalled %d\n", waited == WAIT_OBJECT_0 ? 1 : 0);
    } else {
        SetEvent(args.ready);
        std::printf("quit-signalled %d\n", WaitPumping(args.go, 120000) == WAIT_OBJECT_0 ? 1 : 0);
    }
    for (const auto& listener : listeners) g.VtlsSHChangeNotifyRevoke(listener->Handle());
    g.VtlsTerminate();
    PrintChanges("event", listeners);
    for (const auto& change : stall.changes) std::printf("hung-event 0 %s\n", change.Line().c_str());
    std::printf("calls %ld\nroot-calls %ld\n", g_calls, g_rootCalls);
    std::printf("own-channel-window-after %d\n", OwnWindowOf(VTLS_SRVCHANNEL_CLASS) ? 1 : 0);
    return 0;
}
int Server(const Args& args) { return HoldRole(args, true); }
int Client(const Args& args) { return HoldRole(args, false); }

// ---- Posting -----------------------------------------------------------------------

void PostEvent(std::uint32_t poster, std::uint32_t sequence, UINT flags) {
    const Bytes list = EventList(poster, sequence);
    const Bytes extra = EventExtra(poster, sequence);
    g.SHChangeNotify2(vtls::test::PosterEvent(poster), flags, AsList(list), nullptr, extra.empty() ? nullptr : extra.data(),
                      static_cast<UINT>(extra.size()));
}

// post <poster> <count> <batch>: holds no role; batch n holds between half and
// one and a half times `batch` events, each flushed to every process.
int Post(const Args& args) {
    const std::uint32_t poster = args.Number(0), count = args.Number(1), batch = args.Number(2);
    if (!g.Load() || batch == 0) return 1;
    if (!args.Go()) return 3;
    std::uint32_t batches = 0;
    const auto size = [&] { return std::max<std::uint32_t>(1, batch / 2 + (batches * 37) % (batch + 1)); };
    for (std::uint32_t sequence = 0, inBatch = 0; sequence < count; ++sequence) {
        const bool flush = ++inBatch == size() || sequence + 1 == count;
        PostEvent(poster, sequence, flush ? VTLS_SHCNF_FLUSH : VTLS_SHCNF_IDLIST);
        if (flush) {
            inBatch = 0;
            ++batches;
        }
    }
    std::printf("posted %lu\nbatches %lu\n", static_cast<unsigned long>(count), static_cast<unsigned long>(batches));
    return 0;
}

// storm <poster> <count>: queues every change, then flushes them all at once (far
// more than one message carries); reports the bytes queued and the peak growth.
int Storm(const Args& args) {
    const std::uint32_t poster = args.Number(0), count = args.Number(1);
    if (!g.Load()) return 1;
    std::vector<Bytes> lists, extras;  // made before the baseline is taken
    std::size_t queued = 0;
    for (std::uint32_t sequence = 0; sequence < count; ++sequence) {
        lists.push_back(EventList(poster, sequence));
        extras.push_back(EventExtra(poster, sequence));
        queued += vtls::notify::kRecordHeaderSize + lists.back().size() + extras.back().size();
    }
    if (!args.Go()) return 3;
    const std::size_t baseline = vtls::test::MeasureProcess().pagefileBytes;
    for (std::uint32_t i = 0; i < count; ++i) {
        g.SHChangeNotify2(vtls::test::PosterEvent(poster), 0, AsList(lists[i]), nullptr,
                          extras[i].empty() ? nullptr : extras[i].data(), static_cast<UINT>(extras[i].size()));
    }
    const DWORD start = GetTickCount();
    g.SHChangeNotify2(0, VTLS_SHCNF_FLUSH, nullptr, nullptr, nullptr, 0);
    std::printf("flush-ms %lu\nposted %lu\nqueued-bytes %zu\n", GetTickCount() - start,
                static_cast<unsigned long>(count), queued);
    std::printf("peak-pagefile-growth %lld\n",
                static_cast<long long>(vtls::test::MeasureProcess().peakPagefileBytes) - static_cast<long long>(baseline));
    return 0;
}

struct ThreadPoster {
    HANDLE go;
    std::uint32_t id, count;
    static DWORD WINAPI Run(void* parameter) {
        const auto* self = static_cast<const ThreadPoster*>(parameter);
        if (WaitForSingleObject(self->go, 60000) != WAIT_OBJECT_0) return 1;
        // Most wait in the queue, every fifth is flushed at once, every fifth asks for the timer.
        for (std::uint32_t i = 0; i < self->count; ++i) {
            PostEvent(self->id, i, i % 5 == 4 ? VTLS_SHCNF_FLUSH : i % 5 == 2 ? VTLS_SHCNF_FLUSHNOWAIT : 0);
        }
        g.SHChangeNotify2(0, VTLS_SHCNF_FLUSH, nullptr, nullptr, nullptr, 0);
        return 0;
    }
};

volatile LONG g_postersRunning = 0;

// Registers and revokes windows of its own while the posters post.
DWORD WINAPI RegistrationChurn(void*) {
    DWORD rounds = 0;
    for (; InterlockedCompareExchange(&g_postersRunning, 0, 0) != 0; ++rounds) {
        vtls::test::ListenerWindow window;
        g.VtlsSHChangeNotifyRegister(window.Handle());
        for (int i = 0; i < 20; ++i) window.PumpUntil(~std::size_t{0}, 1);
        g.VtlsSHChangeNotifyRevoke(window.Handle());
    }
    return rounds;
}

// threads <first-id> <threads> <count>: client role with one listener; the
// threads post while two more register and revoke windows.
int Threads(const Args& args) {
    if (!g.Load() || g.VtlsCliInitialize() != S_OK) return 1;
    const auto listeners = MakeListeners(1);
    std::vector<ThreadPoster> posters;
    for (std::uint32_t t = 0; t < args.Number(1); ++t) posters.push_back({args.go, args.Number(0) + t, args.Number(2)});
    InterlockedExchange(&g_postersRunning, 1);
    std::vector<UniqueHandle> running;
    for (ThreadPoster& poster : posters) running.emplace_back(CreateThread(nullptr, 0, ThreadPoster::Run, &poster, 0, nullptr));
    UniqueHandle churn[2] = {UniqueHandle(CreateThread(nullptr, 0, RegistrationChurn, nullptr, 0, nullptr)),
                             UniqueHandle(CreateThread(nullptr, 0, RegistrationChurn, nullptr, 0, nullptr))};
    SetEvent(args.ready);
    bool finished = true;
    for (const auto& thread : running) finished = finished && thread && WaitPumping(thread.get(), 120000) == WAIT_OBJECT_0;
    InterlockedExchange(&g_postersRunning, 0);
    DWORD rounds = 0;
    for (const auto& thread : churn) {
        DWORD exitCode = 0;
        if (thread && WaitPumping(thread.get(), 10000) == WAIT_OBJECT_0 && GetExitCodeThread(thread.get(), &exitCode)) {
            rounds += exitCode;
        }
    }
    g.VtlsSHChangeNotifyRevoke(listeners[0]->Handle());
    g.VtlsTerminate();
    PrintChanges("event", listeners);
    std::printf("posters-finished %d\nregistration-rounds %lu\n", finished ? 1 : 0, static_cast<unsigned long>(rounds));
    return 0;
}

// ---- Processes that break the rules --------------------------------------------------

// hostile <target-class> <target-name> <rounds>: sends one window of the library
// every malformed batch and request, empty and foreign messages, and after each
// round a well-formed message whose effect the target must still show: a batch
// (its event reaches the target's listeners) or a request (answered to this
// process's window with the echo answer).
Bytes g_reply;
LRESULT CALLBACK ReplyProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    const auto* bytes = static_cast<const std::uint8_t*>(data->lpData);
    g_reply = bytes ? Bytes(bytes, bytes + data->cbData) : Bytes{};
    return TRUE;
}

int Hostile(const Args& args) {
    const HWND target = FindWindowW(args.text[0], args.text[1]);
    if (!g.Load() || target == nullptr) return 3;
    const bool notifyTarget = std::wcscmp(args.text[0], VTLS_FSNOTIFY_CLASS) == 0;
    const HWND self = vtls::test::HiddenWindow(L"vtls_probe_reply", L"", ReplyProcedure);
    unsigned long sent = 0, failures = 0, controls = 0, matching = 0;
    const auto send = [&](ULONG_PTR kind, const void* data, std::size_t size, bool replyHere = false) {
        COPYDATASTRUCT copy{kind, static_cast<DWORD>(size), const_cast<void*>(data)};
        // The server answers to wParam: only null or this pumping window is named.
        const WPARAM from = replyHere || sent++ % 2 == 0 ? reinterpret_cast<WPARAM>(self) : 0;
        DWORD_PTR result = 0;
        failures += SendMessageTimeoutW(target, WM_COPYDATA, from, reinterpret_cast<LPARAM>(&copy), SMTO_NORMAL, 10000,
                                        &result) == 0;
    };
    if (!args.Go()) return 3;
    const auto batches = vtls::test::MalformedBatches();
    const auto requests = vtls::test::MalformedRequests();
    const Bytes good = vtls::test::GoodBatch();
    for (std::uint32_t round = 0; round < args.Number(2); ++round) {
        for (const auto& bad : batches) send(VTLS_COPYDATA_CHANGES, bad.bytes.data(), bad.bytes.size());
        for (const auto& bad : requests) send(VTLS_COPYDATA_CONTENT, bad.bytes.data(), bad.bytes.size());
        send(VTLS_COPYDATA_CHANGES, nullptr, 0);
        send(VTLS_COPYDATA_CONTENT, good.data(), 0);
        send(VTLS_COPYDATA_CHANGES, good.data(), 3);
        send(0x5EED0000u + round, good.data(), good.size());  // neither kind
        ++controls;
        if (notifyTarget) {
            const Bytes list = EventList(0x7E57, round);
            const vtls::notify::ChangeFields fields{false, SHCNE_UPDATEITEM, 0, list.data(), list.size(), nullptr, 0,
                                                    nullptr, 0};
            Bytes batch(vtls::notify::kBatchHeaderSize + vtls::notify::ChangeRecordSize(fields).value_or(0));
            vtls::notify::WriteChangeRecord(batch.data() + vtls::notify::kBatchHeaderSize, fields);
            vtls::notify::WriteBatchHeader(batch.data(), static_cast<std::uint32_t>(batch.size()), 1);
            send(VTLS_COPYDATA_CHANGES, batch.data(), batch.size());
        } else {
            const DWORD value = 0x7E570000u + round;
            std::uint8_t request[10] = {};
            std::memcpy(request, &value, 4);
            g_reply.clear();
            MSG pending;  // a queue looked at lately: the server's reply skips threads that look hung
            PeekMessageW(&pending, nullptr, 0, 0, PM_NOREMOVE);
            send(VTLS_COPYDATA_CONTENT, request, sizeof(request), true);
            const vtls::UniqueGlobal expected(EchoAnswer(nullptr, value));
            matching += expected && g_reply == GlobalBytes(expected.get()) ? 1 : 0;
        }
    }
    std::printf("sent %lu\nfailures %lu\ncontrols %lu\nmatching-replies %lu\ntarget-alive %d\n", sent, failures,
                controls, matching, IsWindow(target) ? 1 : 0);
    DestroyWindow(self);
    return 0;
}

// forge <client-window> <server-window> <ms>: sends the client's notify window
// content replies that claim to come from the server and name a folder nobody
// asked for ("FORG"), until the time is up.
int Forge(const Args& args) {
    const auto window = [&](int i) { return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::wcstoull(args.text[i], nullptr, 0))); };
    const std::uint8_t cida[] = {1, 0, 0, 0, 12, 0, 0, 0, 20, 0, 0, 0, 6, 0, 'F', 'O', 'R', 'G',
                                 0, 0, 6, 0, 'E', 'D', '!', '!', 0, 0};
    COPYDATASTRUCT data{VTLS_COPYDATA_CONTENT, sizeof(cida), const_cast<std::uint8_t*>(cida)};
    if (!args.Go()) return 3;
    unsigned long forged = 0, taken = 0;
    for (const DWORD start = GetTickCount(); GetTickCount() - start < args.Number(2); ++forged) {
        DWORD_PTR result = 0;
        taken += SendMessageTimeoutW(window(0), WM_COPYDATA, reinterpret_cast<WPARAM>(window(1)),
                                     reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 1000, &result) != 0;
        Sleep(5);
    }
    std::printf("forged %lu\ntaken %lu\n", forged, taken);
    return 0;
}

DWORD WINAPI StoppedWindowThread(void* parameter) {
    static_cast<std::atomic<HWND>*>(parameter)->store(CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr));
    Sleep(INFINITE);  // takes no message from here on; ends with the process
    return 0;
}

// hung-requester <count>: asks the server for the root's content, naming as the
// reply window one whose thread takes no messages.
int HungRequester(const Args& args) {
    std::atomic<HWND> stopped{nullptr};
    const UniqueHandle thread(CreateThread(nullptr, 0, StoppedWindowThread, &stopped, 0, nullptr));
    const HWND server = FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME);
    for (int i = 0; i < 1000 && stopped.load() == nullptr; ++i) Sleep(10);
    const HWND window = stopped.load();
    if (!thread || server == nullptr || window == nullptr) return 1;
    SetEvent(args.ready);
    for (std::uint32_t i = 0; i < args.Number(0); ++i) {
        std::uint8_t request[10] = {static_cast<std::uint8_t>(i)};
        COPYDATASTRUCT data{VTLS_COPYDATA_CONTENT, sizeof(request), request};
        DWORD_PTR result = 0;
        const LRESULT sent = SendMessageTimeoutW(server, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                                                 reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 30000, &result);
        std::printf("request %lu sent %d result 0x%08lX\n", static_cast<unsigned long>(i), sent != 0 ? 1 : 0,
                    static_cast<unsigned long>(result));
    }
    std::fflush(stdout);
    ExitProcess(0);  // the stopped thread never returns
    return 0;
}

// fake-server: a window of the server channel's class and name that does not use
// the library, answering each request by its value: 0 the root's content; 1 a
// reply about another folder; 2 a CIDA whose offsets point outside it; 3 no
// reply; 4 the root's content, then a refusal.
LRESULT CALLBACK FakeServerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    if (data == nullptr || data->dwData != VTLS_COPYDATA_CONTENT || data->cbData < 4) return 0;
    std::uint32_t value = 0;
    std::memcpy(&value, data->lpData, 4);
    static const Bytes replies[] = {{0, 0, 0, 0, 8, 0, 0, 0, 0, 0},
                                    {0, 0, 0, 0, 8, 0, 0, 0, 6, 0, 'F', 'O', 'R', 'G', 0, 0},
                                    {1, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0}};
    if (value != 3) {
        const Bytes& reply = replies[value < 3 ? value : 0];
        COPYDATASTRUCT answer{VTLS_COPYDATA_CONTENT, static_cast<DWORD>(reply.size()), const_cast<std::uint8_t*>(reply.data())};
        DWORD_PTR result = 0;
        SendMessageTimeoutW(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                            reinterpret_cast<LPARAM>(&answer), SMTO_NORMAL, 5000, &result);
    }
    std::printf("answered %lu\n", static_cast<unsigned long>(value));
    return value == 4 ? S_FALSE : S_OK;
}

int FakeServer(const Args& args) {
    const HWND window = vtls::test::HiddenWindow(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME, FakeServerProcedure);
    if (window == nullptr) return 1;
    SetEvent(args.ready);
    WaitPumping(args.go, 60000);
    DestroyWindow(window);
    return 0;
}

LONG g_accessViolations = 0;
LONG CALLBACK CountAccessViolations(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) InterlockedIncrement(&g_accessViolations);
    return EXCEPTION_CONTINUE_SEARCH;
}

// The root with no children, built without the library (it may be gone).
HRESULT WINAPI EmptyRootContent(LPCITEMIDLIST, DWORD, HGLOBAL* content) {
    *content = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 10);
    if (*content == nullptr) return E_OUTOFMEMORY;
    static_cast<std::uint8_t*>(*content)[4] = 8;  // the parent's offset; the empty list follows
    return S_OK;
}

// unload-role client|server: takes a role, frees the library without leaving it,
// lets the test talk to its windows until go, then loads the library again twice:
// while the first copy is still held by its threads, and after it was unloaded.
int UnloadRole(const Args& args) {
    const bool server = std::wcscmp(args.text[0], L"server") == 0;
    AddVectoredExceptionHandler(1, CountAccessViolations);
    const auto role = [&](Api& api) {
        return api.Load() ? (server ? api.VtlsSrvInitialize(EmptyRootContent) : api.VtlsCliInitialize()) : E_POINTER;
    };
    const auto loaded = [] { return GetModuleHandleW(L"VantrelSh.dll") != nullptr ? 1 : 0; };
    {
        Api first;
        std::printf("first-role 0x%08lX\n", static_cast<unsigned long>(role(first)));
    }
    std::printf("held-by-its-threads %d\n", loaded());
    std::printf("windows-after-free %d\n", OwnWindowOf(VTLS_FSNOTIFY_CLASS) ? 1 : 0);
    std::fflush(stdout);
    if (!args.Go()) return 3;
    {
        Api second;
        std::printf("second-role 0x%08lX\n", static_cast<unsigned long>(role(second)));
        if (second.VtlsTerminate) second.VtlsTerminate();
    }
    std::printf("unloaded-after-terminate %d\n", 1 - loaded());
    {
        Api fresh;
        std::printf("fresh-role 0x%08lX\n", static_cast<unsigned long>(role(fresh)));
        std::printf("fresh-windows %d\n", OwnWindowOf(VTLS_FSNOTIFY_CLASS) ? 1 : 0);
        if (fresh.VtlsTerminate) fresh.VtlsTerminate();
    }
    std::printf("unloaded-at-end %d\naccess-violations %ld\n", 1 - loaded(), g_accessViolations);
    return 0;
}

// ---- 32/64-bit exchanges: the same sample data made by each width's library ----------

constexpr GUID kSiteClass = {0x51C0FFEE, 0x7A21, 0x4E0B, {0x93, 0x11, 0x0C, 0xA5, 0xE7, 0x2D, 0x64, 0x19}};
constexpr GUID kNodeClass = {0x0DD5A1E7, 0x3B44, 0x4F6C, {0xA0, 0x72, 0x58, 0x1E, 0x9B, 0x03, 0xCD, 0x8E}};

ItemList Real(const wchar_t* name, INT type, DWORD data, const GUID& guid, const Bytes& extra) {
    return ItemList(g.VtlsCreateID(name, type, data, &guid, static_cast<INT>(extra.size()), extra.empty() ? nullptr : extra.data()));
}

// Two one-item lists joined into one, in the library's allocator.
ItemList Join(const ItemList& first, const ItemList& second) {
    Bytes joined = ListBytes(first.get());
    const Bytes tail = ListBytes(second.get());
    joined.insert(joined.end() - 2, tail.begin(), tail.end() - 2);
    auto* list = static_cast<ITEMIDLIST*>(g.VtlsSHAlloc(static_cast<ULONG>(joined.size())));
    if (list != nullptr) std::memcpy(list, joined.data(), joined.size());
    return ItemList(list);
}

// The stream records: a real item with extra bytes, one without a name, a wait
// and two error placeholders.
std::vector<ItemList> SampleRecords() {
    std::vector<ItemList> lists;
    lists.push_back(Real(L"KESTREL-GW1", 2, 0x11223344, kSiteClass, {0x01, 0x02, 0x03, 0xFE, 0xFF}));
    lists.push_back(Real(nullptr, 7, 0xA5A5A5A5u, kNodeClass, {}));
    lists.emplace_back(g.VtlsCreateWaitID());
    lists.emplace_back(g.VtlsCreateErrorID(0x80070005u, FALSE));
    lists.emplace_back(g.VtlsCreateErrorID(0x8000FFFFu, TRUE));
    return lists;
}

ItemList SampleFolder() { return Join(Real(L"KESTREL-GW1", 2, 7, kSiteClass, {0x5A}), Real(L"Line 4", 3, 9, kNodeClass, {1, 0, 2})); }

// The sample content of a folder as SHCreateCIDA packs it (no parent: the root).
Bytes SampleCida(LPCITEMIDLIST parent) {
    ItemList children[] = {Real(L"Boiler House", 3, 1, kNodeClass, {0xAA}),
                           Real(L"Pump.Station-7", 4, 0xFFFFFFFFu, kNodeClass, {0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 0x70}),
                           Real(L"\u00C4u\u00DFenlager", 5, 0, kSiteClass, {})};
    LPCITEMIDLIST pointers[] = {children[0].get(), children[1].get(), children[2].get()};
    const vtls::UniqueGlobal cida(g.SHCreateCIDA(parent, 3, pointers));
    return cida ? GlobalBytes(cida.get()) : Bytes{};
}

// The bytes of a packed CIDA: up to the end of its last list.
Bytes CidaBytes(const CIDA* cida) {
    std::size_t end = sizeof(UINT) * (cida->cidl + 2);
    for (UINT i = 0; i <= cida->cidl; ++i) {
        end = std::max(end, cida->aoffset[i] + ListBytes(reinterpret_cast<const std::uint8_t*>(cida) + cida->aoffset[i]).size());
    }
    return Bytes(reinterpret_cast<const std::uint8_t*>(cida), reinterpret_cast<const std::uint8_t*>(cida) + end);
}

int Check(bool held, const char* what) {
    std::printf("%s %s\n", what, held ? "match" : "DIFFER");
    return held ? 0 : 1;
}

Bytes WholeStream(IStream* stream) {
    STATSTG stat{};
    LARGE_INTEGER zero{};
    ULONG read = 0;
    if (FAILED(stream->Stat(&stat, STATFLAG_NONAME)) || FAILED(stream->Seek(zero, STREAM_SEEK_SET, nullptr))) return {};
    Bytes bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
    const bool whole = SUCCEEDED(stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read)) && read == bytes.size();
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return whole ? bytes : Bytes{};
}

ComPtr<IStream> StreamOf(const Bytes& bytes) {
    ComPtr<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()))) return {};
    ULONG written = 0;
    LARGE_INTEGER zero{};
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written);
    stream->Seek(zero, STREAM_SEEK_SET, nullptr);
    return stream;
}

// The sample records as ILStgWrite writes them.
Bytes RecordBytes() {
    const ComPtr<IStream> stream = StreamOf({});
    for (const ItemList& list : SampleRecords()) {
        if (!stream || g.ILStgWrite(stream.get(), list.get()) != S_OK) return {};
    }
    return WholeStream(stream.get());
}

// Reads the records from the stream and compares each with this width's sample.
int CheckRecords(IStream* stream) {
    bool same = stream != nullptr;
    for (const ItemList& want : SampleRecords()) {
        LPITEMIDLIST got = nullptr;
        same = same && g.ILStgRead(stream, &got) == S_OK && ListBytes(got) == ListBytes(want.get());
        g.VtlsSHFree(got);
    }
    LPITEMIDLIST more = nullptr;
    same = same && g.ILStgRead(stream, &more) != S_OK;
    g.VtlsSHFree(more);
    return Check(same, "records");
}

// ids-write FILE | ids-read FILE
int IdsWrite(const Args& args) {
    const Bytes bytes = RecordBytes();
    std::FILE* file = _wfopen(args.text[0], L"wb");
    const bool written = file != nullptr && !bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return file != nullptr && std::fclose(file) == 0 && written ? 0 : 1;
}

int IdsRead(const Args& args) {
    std::FILE* file = _wfopen(args.text[0], L"rb");
    if (file == nullptr) return 1;
    Bytes bytes(1 << 16);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return CheckRecords(StreamOf(bytes).get());
}

// regstream-save KEY VALUE | regstream-open KEY VALUE (under HKCU)
int RegStreamSave(const Args& args) {
    vtls::UniqueRegKey key;
    const ComPtr<IStream> stream = StreamOf(RecordBytes());
    if (RegCreateKeyExW(HKEY_CURRENT_USER, args.text[0], 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.put(), nullptr) !=
            ERROR_SUCCESS || !stream) {
        return 1;
    }
    return Check(g.VtlsRegSaveStream(key.get(), args.text[1], stream.get()) == S_OK, "saved");
}

int RegStreamOpen(const Args& args) {
    vtls::UniqueRegKey key;
    ComPtr<IStream> stream;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, args.text[0], 0, KEY_READ, key.put()) != ERROR_SUCCESS ||
        g.VtlsRegOpenStream(key.get(), args.text[1], stream.put()) != S_OK || !stream) {
        return 1;
    }
    return Check(WholeStream(stream.get()) == RecordBytes(), "stream") | CheckRecords(stream.get());
}

// serve SECONDS: answers the root and the sample folder with the sample content.
LONG g_answered = 0;
HRESULT WINAPI AnswerSample(LPCITEMIDLIST parent, DWORD, HGLOBAL* content) {
    if (parent != nullptr && ListBytes(parent) != ListBytes(SampleFolder().get())) return E_FAIL;
    const Bytes cida = SampleCida(parent);
    *content = GlobalAlloc(GMEM_FIXED, cida.size());
    if (*content == nullptr) return E_OUTOFMEMORY;
    std::memcpy(*content, cida.data(), cida.size());
    InterlockedIncrement(&g_answered);
    return S_OK;
}

int Serve(const Args& args) {
    if (FAILED(g.VtlsSrvInitialize(AnswerSample))) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    for (DWORD waited = 0; waited < args.Number(0) * 1000 && g_answered < 2; waited += 50) Sleep(50);
    Sleep(200);  // the last reply is on its way
    g.VtlsTerminate();
    return Check(g_answered == 2, "both requests answered");
}

// request: the root's and the sample folder's content, byte for byte.
int Request(const Args&) {
    if (FAILED(g.VtlsCliInitialize())) return 1;
    const ItemList folder = SampleFolder();
    int failed = 0;
    for (const LPCITEMIDLIST asked : {static_cast<LPCITEMIDLIST>(nullptr), static_cast<LPCITEMIDLIST>(folder.get())}) {
        CIDA* content = nullptr;
        const bool answered = g.VtlsGetContentInSync(asked, 1201, &content) == S_OK && content != nullptr;
        failed |= Check(answered && CidaBytes(content) == SampleCida(asked), asked ? "folder content" : "root content");
        CoTaskMemFree(content);
    }
    g.VtlsTerminate();
    return failed;
}

// listen SECONDS | change-post: the sample change, event, both lists and extra bytes.
const Bytes kSampleExtra = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xAA};
std::pair<ItemList, ItemList> SampleChange() {
    return {Join(Real(L"KESTREL-GW1", 2, 0, kSiteClass, {}), Real(L"Old Name", 3, 42, kNodeClass, {0xC3, 0x3C})),
            Join(Real(L"KESTREL-GW1", 2, 0, kSiteClass, {}), Real(L"New Name", 3, 42, kNodeClass, {0xC3, 0x3C, 0x7E}))};
}

int Listen(const Args& args) {
    vtls::test::ListenerWindow listener;
    if (FAILED(g.VtlsCliInitialize()) || g.VtlsSHChangeNotifyRegister(listener.Handle()) != S_OK) return 1;
    std::printf("ready\n");
    std::fflush(stdout);
    listener.PumpUntil(1, args.Number(0) * 1000);
    g.VtlsSHChangeNotifyRevoke(listener.Handle());
    g.VtlsTerminate();
    const auto [list1, list2] = SampleChange();
    const vtls::test::Change want{WM_VTLS_FSNOTIFY, SHCNE_RENAMEFOLDER, ListBytes(list1.get()), ListBytes(list2.get()),
                                  kSampleExtra, 0};
    return Check(listener.changes.size() == 1 && listener.changes[0].Line() == want.Line(), "change");
}

int ChangePost(const Args&) {
    const auto [list1, list2] = SampleChange();
    g.SHChangeNotify2(SHCNE_RENAMEFOLDER, VTLS_SHCNF_FLUSH, list1.get(), list2.get(), kSampleExtra.data(),
                      static_cast<UINT>(kSampleExtra.size()));
    return 0;
}

struct Mode {
    const wchar_t* name;
    int arguments;  // at least, after the events
    bool events;    // started by a test with a ready and a go event
    bool load;      // the DLL loaded before the mode runs
    int (*run)(const Args&);
};

const Mode kModes[] = {
    {L"load-report", 0, false, false, LoadReport},     {L"load-unload", 1, false, false, LoadUnload},
    {L"extract-icon", 2, false, false, ExtractIcon},   {L"server", 1, true, false, Server},
    {L"client", 0, true, false, Client},               {L"post", 3, true, false, Post},
    {L"storm", 2, true, false, Storm},                 {L"threads", 3, true, false, Threads},
    {L"hostile", 3, true, false, Hostile},
    {L"forge", 3, true, false, Forge},                 {L"hung-requester", 1, true, false, HungRequester},
    {L"fake-server", 0, true, false, FakeServer},      {L"unload-role", 1, true, false, UnloadRole},
    {L"ids-write", 1, false, true, IdsWrite},          {L"ids-read", 1, false, true, IdsRead},
    {L"regstream-save", 2, false, true, RegStreamSave}, {L"regstream-open", 2, false, true, RegStreamOpen},
    {L"serve", 1, false, true, Serve},                 {L"request", 0, false, true, Request},
    {L"listen", 1, false, true, Listen},               {L"change-post", 0, false, true, ChangePost},
    {L"arch", 0, false, false, [](const Args&) { return 0; }},
    // A server's stop request: the event it named on its command line.
    {L"set-event", 1, false, false, [](const Args& args) {
         const UniqueHandle event(OpenEventW(EVENT_MODIFY_STATE, FALSE, args.text[0]));
         return event && SetEvent(event.get()) ? 0 : 1;
     }},
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    for (const Mode& mode : kModes) {
        const int first = mode.events ? 4 : 2;
        if (argc < 2 || std::wcscmp(argv[1], mode.name) != 0 || argc < first + mode.arguments) continue;
        std::printf("probe %d-bit %ls\n", static_cast<int>(sizeof(void*) * 8), mode.name);
        const UniqueHandle ready(mode.events ? OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[2]) : nullptr);
        const UniqueHandle go(mode.events ? OpenEventW(SYNCHRONIZE, FALSE, argv[3]) : nullptr);
        if (mode.events && (!ready || !go)) return 2;
        if (mode.load && (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) || !g.Load())) return 1;
        return mode.run(Args{argv + first, ready.get(), go.get()});
    }
    std::fprintf(stderr, "usage: vtls_probe <mode> [<ready-event> <go-event>] arguments; modes:");
    for (const Mode& mode : kModes) std::fprintf(stderr, " %ls", mode.name);
    std::fprintf(stderr, "\n");
    return 2;
}
