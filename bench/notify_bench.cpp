// Change notification and content requests between processes, through the DLL's
// exports: one flushed event, batches to several listener processes, content
// round trips, and the shell's own in-process delivery as a peer; and two ways of
// finding the notify windows among the top-level windows.
//
// The program is its own helper process: "listen" takes the client role and
// registers a listener window, "serve" takes the server role and answers content
// requests. A receiver stores the counter value at which a message reached it in
// memory shared with the bench, so "post -> received" needs no message back; the
// bare pings it answers acknowledge the same way, so figures and floors carry the
// same cost.
//
// Latencies are individually timed calls (Wine's counter ticks every 100 ns),
// reported as p50 and p99; the candidates of one table alternate call by call, so
// drift from other load on the machine falls on all of them alike.
#include <windows.h>
#include <objbase.h>
#include <psapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "bench_clock.h"
#include "base/item_list_owner.h"
#include "base/unique_resource.h"

namespace {

using vtls::UniqueHandle;

// ---- Settings ----------------------------------------------------------------

constexpr int kWarmupCalls = 20;
constexpr int kLatencyEvents = 200;
constexpr int kFloorCalls = 1001;
constexpr int kFindCalls = 201;
constexpr int kFloorPerRepetition = 5;  // cross-thread sends beside each batch
constexpr int kContentRounds = 101;
constexpr int kShellEvents = 200;
constexpr int kAckCalls = 100001;

constexpr int kMaxListeners = 12;
constexpr int kServerSlot = kMaxListeners;
constexpr int kSlots = kMaxListeners + 1;
// Top-level windows each listener helper adds for the window search: 16 in all,
// spread over other processes as on a desktop.
constexpr int kUnrelatedPerHelper = 4;

constexpr DWORD kHelperStartMs = 30000;
constexpr DWORD kHelperStopMs = 10000;
constexpr DWORD kShellWaitMs = 1000;

struct BatchShape {
    int records;
    int repetitions;
};
constexpr BatchShape kBatches[] = {{1, 101}, {10, 51}, {100, 15}, {1000, 7}};
constexpr int kListenerCounts[] = {1, 2, 4};
// Child counts of the content requests; the largest answer under the
// per-message bound is added at run time.
constexpr DWORD kChildCounts[] = {0, 10, 100, 1000};
constexpr std::size_t kContentCounts = std::size(kChildCounts) + 1;

// Growth: listener processes, unrelated top-level windows, a storm of changes.
constexpr int kGrowthListeners[] = {1, 4, 12};
constexpr int kGrowthUnrelated[] = {0, 100, 1000};
constexpr int kGrowthRounds = 101;
constexpr int kStormChanges = 100000;
constexpr DWORD kStormWaitMs = 180000;

constexpr double kEventAim = 3.0;    // x a bare cross-process ping
constexpr double kRecordAim = 1.25;  // x an in-process cross-thread SendMessageW
constexpr double kContentAim = 3.0;  // x a bare cross-process ping
constexpr DWORD kContentAimChildren = 10;
// Against the platform, medians of per-round ratios.
constexpr double kFlushPeerAim = 1.15;
constexpr double kContent10PeerAim = 2.3;
constexpr double kContent1000PeerAim = 3.0;

// Not a folder change, so the listener's process does not also flush the shell.
constexpr LONG kEvent = SHCNE_UPDATEITEM;

// Messages of the bench's own windows.
constexpr UINT kPingMessage = WM_APP + 1;       // acknowledges, returns 0
constexpr UINT kRelayMessage = WM_APP + 2;      // pings the window in wParam, then returns
constexpr UINT kUnrelatedMessage = WM_APP + 3;  // creates wParam unrelated top-level windows
constexpr UINT kShellMessage = WM_APP + 4;      // the shell's change notification
constexpr UINT kClearUnrelatedMessage = WM_APP + 5;  // destroys the unrelated windows
// Sends lParam bytes as WM_COPYDATA to the window in wParam, then returns: with
// the look-up of the server's window before it, the shape of a content request
// without the library (a send each way, the answer's bytes in the reply).
constexpr UINT kRelayBytesMessage = WM_APP + 6;

constexpr wchar_t kBenchClass[] = L"notify_bench_window";
constexpr wchar_t kUnrelatedClass[] = L"notify_bench_unrelated";

// ---- Owners ------------------------------------------------------------------

inline void DestroyOwnWindow(HWND window) noexcept { DestroyWindow(window); }
inline void UnmapView(void* view) noexcept { UnmapViewOfFile(view); }
inline void DeregisterShellNotify(ULONG id) noexcept { SHChangeNotifyDeregister(id); }

using UniqueWindow = vtls::UniqueResource<HWND, DestroyOwnWindow>;
using UniqueView = vtls::UniqueResource<void*, UnmapView>;
using UniqueShellRegistration = vtls::UniqueResource<ULONG, DeregisterShellNotify>;

using vtls::UniqueIDList;
using vtls::UniqueShellIDList;

struct CoTaskDeleter {
    void operator()(void* memory) const noexcept { CoTaskMemFree(memory); }
};
using UniqueCida = std::unique_ptr<CIDA, CoTaskDeleter>;

// Leaves whatever role the process took, on every way out.
struct RoleScope {
    RoleScope() = default;
    RoleScope(const RoleScope&) = delete;
    RoleScope& operator=(const RoleScope&) = delete;
    ~RoleScope() { VtlsTerminate(); }
};

// ---- Timing ------------------------------------------------------------------

using vtls::bench::CounterTicks;
using vtls::bench::Median;

double Micro(LONGLONG ticks) { return vtls::bench::TicksToMicroseconds(ticks); }

struct Spread {
    double p50 = 0;
    double p99 = 0;
};

Spread SpreadOf(const std::vector<double>& values) {
    return Spread{vtls::bench::Percentile(values, 0.50), vtls::bench::Percentile(values, 0.99)};
}

// ---- Memory the bench shares with its helpers ----------------------------------

// Each field has one writer; the reader looks after the message that caused the
// write has returned.
struct Slot {
    volatile LONG64 window;         // the helper's window: listener and ping target
    volatile LONG64 relayWindow;    // a window on another thread of the helper
    volatile LONG64 lastEventTick;  // counter when the latest change reached the listener
    volatile LONG64 lastPingTick;
    volatile LONG received;  // changes that reached the listener
    volatile LONG pings;
    volatile LONG answers;  // content requests the callback answered
    volatile LONG roleResult;
    volatile LONG registerResult;
};

struct SharedBlock {
    Slot helpers[kSlots];
    Slot local;  // the bench's own window thread
};

Slot* g_slot = nullptr;  // a helper's own slot, or the bench's local one
std::vector<UniqueWindow>* g_unrelated = nullptr;

void Acknowledge(volatile LONG64& tick, volatile LONG& count) {
    InterlockedExchange64(&tick, CounterTicks());
    InterlockedIncrement(&count);
}

HWND SlotWindow(const Slot& slot) { return reinterpret_cast<HWND>(static_cast<std::intptr_t>(slot.window)); }

// ---- Windows -------------------------------------------------------------------

LRESULT CreateUnrelated(int count) {
    if (g_unrelated == nullptr) {
        return 0;
    }
    for (int i = 0; i < count; ++i) {
        UniqueWindow window(CreateWindowExW(0, kUnrelatedClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                            GetModuleHandleW(nullptr), nullptr));
        if (window) {
            g_unrelated->push_back(std::move(window));
        }
    }
    return static_cast<LRESULT>(g_unrelated->size());
}

LRESULT CALLBACK BenchWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_VTLS_FSNOTIFY:
            Acknowledge(g_slot->lastEventTick, g_slot->received);
            return 0;
        case kShellMessage:
            if (static_cast<LONG>(lParam) == SHCNE_UPDATEDIR) {
                Acknowledge(g_slot->lastEventTick, g_slot->received);
            }
            return 0;
        case kPingMessage:
            Acknowledge(g_slot->lastPingTick, g_slot->pings);
            return 0;
        case kRelayMessage:
            return SendMessageW(reinterpret_cast<HWND>(wParam), kPingMessage, 0, 0);
        case kRelayBytesMessage: {
            static std::vector<std::uint8_t> bytes;
            bytes.resize(static_cast<std::size_t>(lParam));
            COPYDATASTRUCT data{0, static_cast<DWORD>(bytes.size()), bytes.data()};
            return SendMessageW(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                                reinterpret_cast<LPARAM>(&data));
        }
        case WM_COPYDATA: {
            // Taken into task memory, as a requester gets its answer.
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            void* copy = CoTaskMemAlloc(data->cbData);
            if (copy != nullptr) {
                std::memcpy(copy, data->lpData, data->cbData);
            }
            CoTaskMemFree(copy);
            return copy != nullptr;
        }
        case kUnrelatedMessage:
            return CreateUnrelated(static_cast<int>(wParam));
        case kClearUnrelatedMessage:
            if (g_unrelated != nullptr) {
                g_unrelated->clear();
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(window, message, wParam, lParam);
    }
}

bool RegisterClasses() {
    WNDCLASSW bench{};
    bench.lpfnWndProc = BenchWindowProcedure;
    bench.hInstance = GetModuleHandleW(nullptr);
    bench.lpszClassName = kBenchClass;
    WNDCLASSW unrelated{};
    unrelated.lpfnWndProc = DefWindowProcW;
    unrelated.hInstance = GetModuleHandleW(nullptr);
    unrelated.lpszClassName = kUnrelatedClass;
    return RegisterClassW(&bench) != 0 && RegisterClassW(&unrelated) != 0;
}

// Message-only, so the bench's own windows add nothing to the top-level windows
// a flush walks.
HWND CreateBenchWindow() {
    return CreateWindowExW(0, kBenchClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
}

// A bench window on a thread of its own: the in-process cross-thread peer.
class WindowThread {
public:
    WindowThread() = default;
    WindowThread(const WindowThread&) = delete;
    WindowThread& operator=(const WindowThread&) = delete;
    ~WindowThread() { Stop(); }

    bool Start() {
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        if (!ready_) {
            return false;
        }
        thread_.reset(CreateThread(nullptr, 0, Body, this, 0, nullptr));
        if (!thread_) {
            return false;
        }
        const HANDLE waits[] = {ready_.get(), thread_.get()};
        WaitForMultipleObjects(2, waits, FALSE, kHelperStartMs);
        return window_ != nullptr;
    }

    void Stop() {
        if (!thread_) {
            return;
        }
        if (window_ != nullptr) {
            PostMessageW(window_, WM_CLOSE, 0, 0);
        }
        WaitForSingleObject(thread_.get(), kHelperStopMs);
        thread_.reset();
        window_ = nullptr;
    }

    [[nodiscard]] HWND Window() const { return window_; }

private:
    static DWORD WINAPI Body(void* self) {
        auto* owner = static_cast<WindowThread*>(self);
        owner->window_ = CreateBenchWindow();
        SetEvent(owner->ready_.get());
        MSG message;
        while (owner->window_ != nullptr && GetMessageW(&message, nullptr, 0, 0) > 0) {
            DispatchMessageW(&message);
        }
        return 0;
    }

    UniqueHandle ready_;
    UniqueHandle thread_;
    HWND window_ = nullptr;  // set before ready_ is signalled
};

// ---- Content answers -------------------------------------------------------------

// `count` children of an OPC browse, made as a server makes them per request.
HGLOBAL BuildAnswer(LPCITEMIDLIST parent, DWORD count) {
    std::vector<UniqueIDList> children;
    std::vector<LPCITEMIDLIST> pointers(std::max<DWORD>(count, 1), nullptr);
    children.reserve(count);
    for (DWORD i = 0; i < count; ++i) {
        const GUID guid{0x5EC0A000u + i, 0x1f2e, 0x4d3c, {0x8b, 0x7a, 0x69, 0x58, 0x47, 0x36, 0x25, 0x14}};
        const std::wstring name = L"Line" + std::to_wstring(i % 6 + 1) + L".Device" + std::to_wstring(i % 40 + 1) +
                                  L".Temperature" + std::to_wstring(i);
        children.emplace_back(VtlsCreateID(name.c_str(), 5, i, &guid, 0, nullptr));
        if (!children.back()) {
            return nullptr;
        }
        pointers[i] = children.back().get();
    }
    return SHCreateCIDA(parent, count, pointers.data());
}

// Answers for the root, built once per child count: the callback then costs a
// copy, so the figures are the library's and not the making of the items.
std::map<DWORD, std::vector<std::uint8_t>> g_answers;

HGLOBAL CachedAnswer(LPCITEMIDLIST parent, DWORD count) {
    if (parent != nullptr) {
        return BuildAnswer(parent, count);
    }
    auto found = g_answers.find(count);
    if (found == g_answers.end()) {
        const vtls::UniqueGlobal built(BuildAnswer(nullptr, count));
        const void* bytes = built ? GlobalLock(built.get()) : nullptr;
        if (bytes == nullptr) {
            return nullptr;
        }
        const auto* first = static_cast<const std::uint8_t*>(bytes);
        found = g_answers.emplace(count, std::vector<std::uint8_t>(first, first + GlobalSize(built.get()))).first;
        GlobalUnlock(built.get());
    }
    HGLOBAL copy = GlobalAlloc(GMEM_FIXED, found->second.size());
    if (copy != nullptr) {
        std::memcpy(copy, found->second.data(), found->second.size());
    }
    return copy;
}

// The server's callback: the requester's value is the number of children.
HRESULT WINAPI AnswerContent(LPCITEMIDLIST parent, DWORD value, HGLOBAL* content) {
    *content = CachedAnswer(parent, value);
    if (g_slot != nullptr) {
        InterlockedIncrement(&g_slot->answers);
    }
    return *content != nullptr ? S_OK : E_OUTOFMEMORY;
}

// ---- Helper process ----------------------------------------------------------------

// Dispatches messages until quit is signalled or the bench is gone.
void PumpUntil(HANDLE quit, HANDLE parent) {
    const HANDLE waits[] = {quit, parent};
    const DWORD count = parent != nullptr ? 2 : 1;
    for (;;) {
        const DWORD waited = MsgWaitForMultipleObjects(count, waits, FALSE, INFINITE, QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0 + count) {
            return;
        }
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                return;
            }
            DispatchMessageW(&message);
        }
    }
}

int RunHelper(bool server, const wchar_t* sharedName, int slotIndex, const wchar_t* readyName,
              const wchar_t* quitName, DWORD parentId) {
    if (slotIndex < 0 || slotIndex >= kSlots) {
        return 2;
    }
    const UniqueHandle mapping(OpenFileMappingW(FILE_MAP_ALL_ACCESS, FALSE, sharedName));
    const UniqueView view(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedBlock))
                                  : nullptr);
    const UniqueHandle ready(OpenEventW(EVENT_MODIFY_STATE, FALSE, readyName));
    const UniqueHandle quit(OpenEventW(SYNCHRONIZE, FALSE, quitName));
    const UniqueHandle parent(OpenProcess(SYNCHRONIZE, FALSE, parentId));
    if (!view || !ready || !quit || !RegisterClasses()) {
        return 1;
    }
    g_slot = &static_cast<SharedBlock*>(view.get())->helpers[slotIndex];
    std::vector<UniqueWindow> unrelated;
    g_unrelated = &unrelated;

    // A window on a second thread: a message relayed to it from the helper's main
    // thread is a cross-process send with a cross-thread send inside, the shape
    // of a change's delivery (to the notify thread, then to the listener).
    WindowThread relay;
    if (!relay.Start()) {
        return 1;
    }
    InterlockedExchange64(&g_slot->relayWindow, static_cast<LONG64>(reinterpret_cast<std::intptr_t>(relay.Window())));
    const RoleScope role;
    const HRESULT hr = server ? VtlsSrvInitialize(AnswerContent) : VtlsCliInitialize();
    g_slot->roleResult = hr;
    const UniqueWindow window(CreateBenchWindow());
    HRESULT registered = S_OK;
    if (!server && window) {
        registered = VtlsSHChangeNotifyRegister(window.get());
    }
    g_slot->registerResult = registered;
    InterlockedExchange64(&g_slot->window, static_cast<LONG64>(reinterpret_cast<std::intptr_t>(window.get())));
    if (FAILED(hr) || FAILED(registered) || !window) {
        return 1;  // the bench sees the process end instead of the ready event
    }
    SetEvent(ready.get());
    PumpUntil(quit.get(), parent.get());
    if (!server) {
        VtlsSHChangeNotifyRevoke(window.get());
    }
    unrelated.clear();
    g_unrelated = nullptr;
    return 0;
}

// The bench's end of one helper process.
class HelperProcess {
public:
    HelperProcess() = default;
    HelperProcess(const HelperProcess&) = delete;
    HelperProcess& operator=(const HelperProcess&) = delete;
    ~HelperProcess() { static_cast<void>(Stop()); }

    bool Start(const wchar_t* mode, int slot, const std::wstring& sharedName) {
        const std::wstring base = sharedName + L"_" + std::to_wstring(slot);
        const std::wstring readyName = base + L"_ready";
        const std::wstring quitName = base + L"_quit";
        ready_.reset(CreateEventW(nullptr, TRUE, FALSE, readyName.c_str()));
        quit_.reset(CreateEventW(nullptr, TRUE, FALSE, quitName.c_str()));
        wchar_t path[MAX_PATH];
        const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
        if (!ready_ || !quit_ || length == 0 || length >= MAX_PATH) {
            return false;
        }
        const std::wstring command = L"\"" + std::wstring(path) + L"\" " + mode + L" " + sharedName + L" " +
                                     std::to_wstring(slot) + L" " + readyName + L" " + quitName + L" " +
                                     std::to_wstring(GetCurrentProcessId());
        std::vector<wchar_t> line(command.begin(), command.end());
        line.push_back(L'\0');
        STARTUPINFOW startup{};
        startup.cb = sizeof(startup);
        PROCESS_INFORMATION info{};
        if (!CreateProcessW(path, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info)) {
            return false;
        }
        const UniqueHandle thread(info.hThread);
        process_.reset(info.hProcess);
        const HANDLE waits[] = {ready_.get(), process_.get()};
        return WaitForMultipleObjects(2, waits, FALSE, kHelperStartMs) == WAIT_OBJECT_0;
    }

    // Tells the helper to leave its role; true when it ended by itself with 0.
    bool Stop() {
        if (!process_) {
            return true;
        }
        SetEvent(quit_.get());
        DWORD code = 1;
        const bool ended = WaitForSingleObject(process_.get(), kHelperStopMs) == WAIT_OBJECT_0;
        if (ended) {
            GetExitCodeProcess(process_.get(), &code);
        } else {
            TerminateProcess(process_.get(), 1);
        }
        process_.reset();
        return ended && code == 0;
    }

private:
    UniqueHandle ready_;
    UniqueHandle quit_;
    UniqueHandle process_;
};

// ---- Measurements ----------------------------------------------------------------

// Cross-process ping to a helper, in-process cross-thread send, and the
// receivers' acknowledgement itself.
struct Floors {
    std::vector<double> ping;
    std::vector<double> pingReceived;
    std::vector<double> localSend;
    // The same two sends with the time limit the library puts on every send.
    std::vector<double> boundedPing;
    std::vector<double> boundedLocalSend;
    double ackNs = 0;
    int missedPings = 0;
};

void MeasureFloors(HWND helper, const Slot& helperSlot, HWND local, Floors& floors) {
    for (int i = -kWarmupCalls; i < kFloorCalls; ++i) {
        const LONG pings = helperSlot.pings;
        const LONGLONG p0 = CounterTicks();
        SendMessageW(helper, kPingMessage, 0, 0);
        const LONGLONG p1 = CounterTicks();
        const LONGLONG received = helperSlot.lastPingTick;
        const bool arrived = helperSlot.pings == pings + 1;
        const LONGLONG l0 = CounterTicks();
        SendMessageW(local, kPingMessage, 0, 0);
        const LONGLONG l1 = CounterTicks();
        constexpr UINT kBounded = SMTO_NORMAL | SMTO_ABORTIFHUNG;
        DWORD_PTR result = 0;
        const LONGLONG b0 = CounterTicks();
        SendMessageTimeoutW(helper, kPingMessage, 0, 0, kBounded, VTLS_BROADCAST_TIMEOUT_MS, &result);
        const LONGLONG b1 = CounterTicks();
        SendMessageTimeoutW(local, kPingMessage, 0, 0, kBounded, VTLS_LISTENER_TIMEOUT_MS, &result);
        const LONGLONG b2 = CounterTicks();
        if (i < 0) {
            continue;
        }
        floors.boundedPing.push_back(Micro(b1 - b0));
        floors.boundedLocalSend.push_back(Micro(b2 - b1));
        floors.ping.push_back(Micro(p1 - p0));
        floors.pingReceived.push_back(Micro(received - p0));
        floors.localSend.push_back(Micro(l1 - l0));
        floors.missedPings += arrived ? 0 : 1;
    }
    // What a receiver adds to each message; both figures and floors carry it.
    Slot scratch{};
    std::vector<double> ack;
    for (int r = 0; r < 11; ++r) {
        const LONGLONG t0 = CounterTicks();
        for (int i = 0; i < kAckCalls; ++i) {
            Acknowledge(scratch.lastPingTick, scratch.pings);
        }
        ack.push_back(Micro(CounterTicks() - t0) * 1000.0 / kAckCalls);
    }
    floors.ackNs = Median(ack);
}

struct EventLatency {
    std::vector<double> postReturn;
    std::vector<double> postReceived;
    std::vector<double> ping;
    std::vector<double> pingReceived;
    std::vector<double> relay;  // ping relayed to another thread of the helper: send -> return
    std::vector<double> walk;   // the notify windows looked up one after another, as a flush finds them
    int missed = 0;      // events the listener had not got when the post returned
    int outOfSpan = 0;   // receive times outside [post, return]
};

void MeasureFlushedEvent(HWND helper, const Slot& slot, LPCITEMIDLIST item, int events, EventLatency& out) {
    const HWND relayTarget = reinterpret_cast<HWND>(static_cast<std::intptr_t>(slot.relayWindow));
    for (int i = -kWarmupCalls; i < events; ++i) {
        // The four take turns going first.
        LONGLONG t0 = 0, t1 = 0, got = 0, p0 = 0, p1 = 0, pinged = 0, r0 = 0, r1 = 0, w0 = 0, w1 = 0;
        bool arrived = false;
        for (int turn = 0; turn < 4; ++turn) {
            switch ((turn + (i + kWarmupCalls)) % 4) {
                case 0: {
                    const LONG received = slot.received;
                    t0 = CounterTicks();
                    SHChangeNotify2(kEvent, VTLS_SHCNF_FLUSH, item, nullptr, nullptr, 0);
                    t1 = CounterTicks();
                    got = slot.lastEventTick;
                    arrived = slot.received == received + 1;
                    break;
                }
                case 1:
                    p0 = CounterTicks();
                    SendMessageW(helper, kPingMessage, 0, 0);
                    p1 = CounterTicks();
                    pinged = slot.lastPingTick;
                    break;
                case 2:
                    r0 = CounterTicks();
                    SendMessageW(helper, kRelayMessage, reinterpret_cast<WPARAM>(relayTarget), 0);
                    r1 = CounterTicks();
                    break;
                default: {
                    // To the end and back to the last one, as the walk checks its end.
                    const HWND desktop = GetDesktopWindow();
                    w0 = CounterTicks();
                    HWND before = nullptr, last = nullptr;
                    while (HWND next = FindWindowExW(desktop, last, VTLS_FSNOTIFY_CLASS, nullptr)) {
                        before = last;
                        last = next;
                    }
                    FindWindowExW(desktop, before, VTLS_FSNOTIFY_CLASS, nullptr);
                    w1 = CounterTicks();
                    break;
                }
            }
        }
        if (i < 0) {
            continue;
        }
        out.relay.push_back(Micro(r1 - r0));
        out.walk.push_back(Micro(w1 - w0));
        out.postReturn.push_back(Micro(t1 - t0));
        out.postReceived.push_back(Micro(got - t0));
        out.ping.push_back(Micro(p1 - p0));
        out.pingReceived.push_back(Micro(pinged - p0));
        out.missed += arrived ? 0 : 1;
        out.outOfSpan += (got < t0 || got > t1) ? 1 : 0;
    }
}

struct BatchFigures {
    int listeners = 0;
    int records = 0;
    double postUs = 0;   // posting all records, median
    double flushUs = 0;  // the flush, median
    double totalUs = 0;
    double localSendUs = 0;  // in-process cross-thread send, measured beside the batches
    int shortDeliveries = 0;  // listener-batches not complete when the flush returned
};

BatchFigures MeasureBatch(const std::vector<const Slot*>& listeners, HWND local, LPCITEMIDLIST item,
                          const BatchShape& shape) {
    BatchFigures figures;
    figures.listeners = static_cast<int>(listeners.size());
    figures.records = shape.records;
    std::vector<double> post;
    std::vector<double> flush;
    std::vector<double> total;
    std::vector<double> localSend;
    std::vector<LONG> before(listeners.size());
    for (int r = -1; r < shape.repetitions; ++r) {
        for (std::size_t k = 0; k < listeners.size(); ++k) {
            before[k] = listeners[k]->received;
        }
        const LONGLONG t0 = CounterTicks();
        for (int i = 0; i < shape.records; ++i) {
            SHChangeNotify2(kEvent, VTLS_SHCNF_IDLIST, item, nullptr, nullptr, 0);
        }
        const LONGLONG t1 = CounterTicks();
        SHChangeNotify2(0, VTLS_SHCNF_FLUSH, nullptr, nullptr, nullptr, 0);
        const LONGLONG t2 = CounterTicks();
        for (std::size_t k = 0; k < listeners.size(); ++k) {
            figures.shortDeliveries += listeners[k]->received == before[k] + shape.records ? 0 : 1;
        }
        if (r < 0) {
            continue;
        }
        post.push_back(Micro(t1 - t0));
        flush.push_back(Micro(t2 - t1));
        total.push_back(Micro(t2 - t0));
        for (int i = 0; i < kFloorPerRepetition; ++i) {
            const LONGLONG l0 = CounterTicks();
            SendMessageW(local, kPingMessage, 0, 0);
            localSend.push_back(Micro(CounterTicks() - l0));
        }
    }
    figures.postUs = Median(post);
    figures.flushUs = Median(flush);
    figures.totalUs = Median(total);
    figures.localSendUs = Median(localSend);
    return figures;
}

// Collects the notify windows one way or the other into `found`.
BOOL CALLBACK CollectNotifyWindow(HWND window, LPARAM parameter) {
    wchar_t className[260];
    if (GetClassNameW(window, className, 260) > 0 && lstrcmpW(className, VTLS_FSNOTIFY_CLASS) == 0) {
        reinterpret_cast<std::vector<HWND>*>(parameter)->push_back(window);
    }
    return TRUE;
}

void FindByEnumeration(std::vector<HWND>& found) {
    found.clear();
    EnumWindows(CollectNotifyWindow, reinterpret_cast<LPARAM>(&found));
}

void FindByClass(std::vector<HWND>& found) {
    found.clear();
    HWND after = nullptr;
    while ((after = FindWindowExW(nullptr, after, VTLS_FSNOTIFY_CLASS, nullptr)) != nullptr) {
        found.push_back(after);
    }
}

BOOL CALLBACK CountWindow(HWND, LPARAM parameter) {
    ++*reinterpret_cast<int*>(parameter);
    return TRUE;
}

int TopLevelWindowCount() {
    int count = 0;
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&count));
    return count;
}

struct FindFigures {
    const char* state = "";
    std::vector<double> enumeration;
    std::vector<double> byClass;
    int topLevel = 0;
    int notifyWindows = 0;
    bool sameWindows = false;
};

FindFigures MeasureFind(const char* state) {
    FindFigures out;
    out.state = state;
    std::vector<HWND> enumerated;
    std::vector<HWND> byClass;
    enumerated.reserve(64);
    byClass.reserve(64);
    for (int i = -kWarmupCalls; i < kFindCalls; ++i) {
        const LONGLONG t0 = CounterTicks();
        FindByEnumeration(enumerated);
        const LONGLONG t1 = CounterTicks();
        FindByClass(byClass);
        const LONGLONG t2 = CounterTicks();
        if (i >= 0) {
            out.enumeration.push_back(Micro(t1 - t0));
            out.byClass.push_back(Micro(t2 - t1));
        }
    }
    std::sort(enumerated.begin(), enumerated.end());
    std::sort(byClass.begin(), byClass.end());
    out.sameWindows = enumerated == byClass;
    out.notifyWindows = static_cast<int>(enumerated.size());
    out.topLevel = TopLevelWindowCount();
    return out;
}

struct ContentFigures {
    std::vector<DWORD> counts;  // children asked for
    std::vector<double> request[kContentCounts];
    std::vector<double> pingBeside[kContentCounts];  // a bare ping right before or after each request
    std::vector<double> bytesBeside[kContentCounts];  // look-up, a send each way, the answer's bytes in the reply
    std::vector<double> callback[kContentCounts];  // the callback alone, in this process
    std::vector<double> ping;
    std::vector<double> relay;  // one send each way, nested as a request and its reply
    int failures = 0;           // replies missing or with the wrong count
};

// The most children of the sample answer whose CIDA stays within the
// per-message bound.
DWORD LargestAnswer() {
    const auto sizeOf = [](DWORD count) -> SIZE_T {
        const vtls::UniqueGlobal answer(BuildAnswer(nullptr, count));
        return answer ? GlobalSize(answer.get()) : 0;
    };
    const SIZE_T thousand = sizeOf(1000);
    if (thousand == 0) {
        return 1000;
    }
    DWORD count = static_cast<DWORD>(static_cast<double>(VTLS_MAX_COPYDATA_BYTES) * 1000 / thousand);
    while (count > 1000 && sizeOf(count) > VTLS_MAX_COPYDATA_BYTES) {
        count -= 8;
    }
    while (sizeOf(count + 1) <= VTLS_MAX_COPYDATA_BYTES) {
        ++count;
    }
    return count;
}

void MeasureContent(HWND server, HWND local, ContentFigures& out) {
    std::vector<LPARAM> answerBytes;
    for (const DWORD count : out.counts) {
        const vtls::UniqueGlobal answer(BuildAnswer(nullptr, count));
        answerBytes.push_back(answer ? static_cast<LPARAM>(GlobalSize(answer.get())) : 0);
    }
    for (int i = -5; i < kContentRounds; ++i) {
        for (std::size_t c = 0; c < out.counts.size(); ++c) {
            CIDA* raw = nullptr;
            // The request and its peers (a bare ping, the same shape without the
            // library) take turns going first.
            const bool peersFirst = (i + static_cast<int>(c)) % 2 == 0;
            LONGLONG q0 = 0, q1 = 0, b1 = 0;
            const auto peers = [&] {
                q0 = CounterTicks();
                SendMessageW(server, kPingMessage, 0, 0);
                q1 = CounterTicks();
                // Every request looks for the server's window first.
                const HWND found = FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME);
                SendMessageW(found != nullptr ? server : nullptr, kRelayBytesMessage, reinterpret_cast<WPARAM>(local),
                             answerBytes[c]);
                b1 = CounterTicks();
            };
            if (peersFirst) {
                peers();
            }
            const LONGLONG t0 = CounterTicks();
            const HRESULT hr = VtlsGetContentInSync(nullptr, out.counts[c], &raw);
            const LONGLONG t1 = CounterTicks();
            if (!peersFirst) {
                peers();
            }
            const UniqueCida content(raw);
            const bool right = hr == S_OK && content && content->cidl == out.counts[c];
            HGLOBAL block = nullptr;
            const LONGLONG c0 = CounterTicks();
            const HRESULT answered = AnswerContent(nullptr, out.counts[c], &block);
            const vtls::UniqueGlobal owner(block);
            const LONGLONG c1 = CounterTicks();
            if (i < 0) {
                continue;
            }
            out.request[c].push_back(Micro(t1 - t0));
            out.pingBeside[c].push_back(Micro(q1 - q0));
            out.bytesBeside[c].push_back(Micro(b1 - q1));
            out.callback[c].push_back(Micro(c1 - c0));
            out.failures += right && answered == S_OK ? 0 : 1;
        }
        const LONGLONG p0 = CounterTicks();
        SendMessageW(server, kPingMessage, 0, 0);
        const LONGLONG p1 = CounterTicks();
        SendMessageW(server, kRelayMessage, reinterpret_cast<WPARAM>(local), 0);
        const LONGLONG p2 = CounterTicks();
        if (i >= 0) {
            out.ping.push_back(Micro(p1 - p0));
            out.relay.push_back(Micro(p2 - p1));
        }
    }
}

struct ShellFigures {
    bool registered = false;
    std::vector<double> postReturn;
    std::vector<double> postReceived;
    std::vector<double> localSend;
    int missed = 0;  // events not received within kShellWaitMs
    int late = 0;    // received only after SHChangeNotify returned
};

void MeasureShell(HWND listener, Slot& slot, ShellFigures& out) {
    LPITEMIDLIST rawDesktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &rawDesktop))) {
        return;
    }
    const UniqueShellIDList desktop(rawDesktop);
    SHChangeNotifyEntry entry{};
    entry.pidl = desktop.get();
    entry.fRecursive = FALSE;
    const UniqueShellRegistration registration(
        SHChangeNotifyRegister(listener, SHCNRF_ShellLevel, SHCNE_UPDATEDIR, kShellMessage, 1, &entry));
    out.registered = registration.valid();
    if (!out.registered) {
        return;
    }
    for (int i = -kWarmupCalls; i < kShellEvents; ++i) {
        const LONG received = slot.received;
        const LONGLONG t0 = CounterTicks();
        SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_IDLIST | SHCNF_FLUSH, desktop.get(), nullptr);
        const LONGLONG t1 = CounterTicks();
        bool arrived = slot.received == received + 1;
        const bool inTime = arrived;
        for (const DWORD start = GetTickCount(); !arrived && GetTickCount() - start < kShellWaitMs;) {
            Sleep(1);
            arrived = slot.received == received + 1;
        }
        const LONGLONG got = slot.lastEventTick;
        const LONGLONG l0 = CounterTicks();
        SendMessageW(listener, kPingMessage, 0, 0);
        const LONGLONG l1 = CounterTicks();
        if (i < 0) {
            continue;
        }
        out.missed += arrived ? 0 : 1;
        out.late += arrived && !inTime ? 1 : 0;
        out.postReturn.push_back(Micro(t1 - t0));
        if (arrived) {
            out.postReceived.push_back(Micro(got - t0));
        }
        out.localSend.push_back(Micro(l1 - l0));
    }
}

// ---- Growth ------------------------------------------------------------------------

double MedianRatio(const std::vector<double>& a, const std::vector<double>& b) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) {
        if (b[i] > 0) {
            ratios.push_back(a[i] / b[i]);
        }
    }
    return Median(ratios);
}

// The notify windows of the other processes: where a flush sends its batch.
std::vector<HWND> OtherNotifyWindows() {
    std::vector<HWND> found;
    FindByClass(found);
    std::vector<HWND> others;
    for (const HWND window : found) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process != GetCurrentProcessId()) {
            others.push_back(window);
        }
    }
    return others;
}

struct GrowthPoint {
    int x = 0;                 // listener processes, unrelated windows or children
    std::vector<double> ours;  // us per call
    std::vector<double> peer;  // us per call
    int missed = 0;            // deliveries not complete on return
    int peerWindows = 0;
};

// One flushed change, post -> return, against the platform's WM_NULL round trip
// to each of the same notify windows; the two alternate which goes first.
GrowthPoint MeasureFlushGrowth(int x, const std::vector<const Slot*>& listeners, LPCITEMIDLIST item) {
    GrowthPoint point;
    point.x = x;
    const std::vector<HWND> windows = OtherNotifyWindows();
    point.peerWindows = static_cast<int>(windows.size());
    std::vector<LONG> before(listeners.size());
    for (int i = -kWarmupCalls; i < kGrowthRounds; ++i) {
        double ours = 0;
        double peer = 0;
        for (int turn = 0; turn < 2; ++turn) {
            if ((turn == 0) == (i % 2 == 0)) {
                for (std::size_t k = 0; k < listeners.size(); ++k) {
                    before[k] = listeners[k]->received;
                }
                const LONGLONG t0 = CounterTicks();
                SHChangeNotify2(kEvent, VTLS_SHCNF_FLUSH, item, nullptr, nullptr, 0);
                ours = Micro(CounterTicks() - t0);
                for (std::size_t k = 0; k < listeners.size(); ++k) {
                    point.missed += i >= 0 && listeners[k]->received != before[k] + 1 ? 1 : 0;
                }
            } else {
                const LONGLONG t0 = CounterTicks();
                for (const HWND window : windows) {
                    SendMessageW(window, WM_NULL, 0, 0);
                }
                peer = Micro(CounterTicks() - t0);
            }
        }
        if (i >= 0) {
            point.ours.push_back(ours);
            point.peer.push_back(peer);
        }
    }
    return point;
}

struct StormSample {
    double seconds;  // since the first post
    LONG posted;
    LONG arrived;
    double privateMb;
};

struct StormFigures {
    double postSeconds = 0;
    double lastArrivalSeconds = 0;  // from the first post to the last change's arrival
    LONG arrived = 0;
    double privateBeforeMb = 0;
    double peakBeforeMb = 0;  // the process's peak before the storm
    double peakAfterMb = 0;   // and after it
    double sampledPeakMb = 0;
    std::vector<StormSample> samples;
};

double PrivateMb(bool peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) {
        return 0;
    }
    return static_cast<double>(peak ? counters.PeakPagefileUsage : counters.PagefileUsage) / (1024.0 * 1024.0);
}

// kStormChanges deferred changes (VTLS_SHCNF_FLUSHNOWAIT) as fast as one thread
// posts them; the notify window's timer sends them 500 ms after the last.
StormFigures MeasureStorm(const Slot& listener, LPCITEMIDLIST item) {
    StormFigures out;
    out.privateBeforeMb = PrivateMb(false);
    out.peakBeforeMb = PrivateMb(true);
    const LONG before = listener.received;
    const LONGLONG t0 = CounterTicks();
    const auto sample = [&](LONG posted) {
        const double mb = PrivateMb(false);
        out.sampledPeakMb = std::max(out.sampledPeakMb, mb);
        out.samples.push_back({Micro(CounterTicks() - t0) / 1e6, posted, listener.received - before, mb});
    };
    for (LONG i = 0; i < kStormChanges; ++i) {
        SHChangeNotify2(kEvent, VTLS_SHCNF_FLUSHNOWAIT, item, nullptr, nullptr, 0);
        if ((i + 1) % 2000 == 0) {
            sample(i + 1);
        }
    }
    out.postSeconds = Micro(CounterTicks() - t0) / 1e6;
    const DWORD start = GetTickCount();
    while (listener.received - before < kStormChanges && GetTickCount() - start < kStormWaitMs) {
        Sleep(10);
        sample(kStormChanges);
    }
    out.arrived = listener.received - before;
    out.lastArrivalSeconds = Micro(listener.lastEventTick - t0) / 1e6;
    out.peakAfterMb = PrivateMb(true);
    return out;
}

bool WriteGrowthSeries(const wchar_t* folder, const char* file, const char* header,
                       const std::vector<GrowthPoint>& points) {
    const std::wstring path = std::wstring(folder) + L"\\" + std::wstring(file, file + std::strlen(file));
    std::FILE* out = _wfopen(path.c_str(), L"w");
    if (out == nullptr) {
        return false;
    }
    std::fprintf(out, "# %s\n# x ours_p50_us peer_p50_us median_ratio\n", header);
    for (const GrowthPoint& point : points) {
        std::fprintf(out, "%d %.2f %.2f %.3f\n", point.x, Median(point.ours), Median(point.peer),
                     MedianRatio(point.ours, point.peer));
    }
    std::fclose(out);
    return true;
}

bool WriteStormSeries(const wchar_t* folder, const StormFigures& storm) {
    const std::wstring path = std::wstring(folder) + L"\\storm.dat";
    std::FILE* out = _wfopen(path.c_str(), L"w");
    if (out == nullptr) {
        return false;
    }
    std::fprintf(out, "# seconds posted arrived private_mb\n");
    for (const StormSample& s : storm.samples) {
        std::fprintf(out, "%.4f %ld %ld %.2f\n", s.seconds, static_cast<long>(s.posted), static_cast<long>(s.arrived),
                     s.privateMb);
    }
    std::fclose(out);
    return true;
}

void PrintGrowth(const char* title, const char* xName, const char* peerName, const std::vector<GrowthPoint>& points) {
    std::printf("\n%s\n%12s %12s %12s %14s %9s\n", title, xName, "ours p50 us", "peer p50 us", "median ratio",
                "missed");
    for (const GrowthPoint& point : points) {
        std::printf("%12d %12.1f %12.1f %14.2f %9d\n", point.x, Median(point.ours), Median(point.peer),
                    MedianRatio(point.ours, point.peer), point.missed);
    }
    std::printf("  peer: %s\n", peerName);
}

// ---- Output ------------------------------------------------------------------------

void PrintHeading(const char* title, const char* peer) {
    std::printf("\n%-52s %-4s %9s %9s  %s\n", title, "unit", "p50", "p99", peer);
}

void PrintLatency(const char* what, const std::vector<double>& values, double floor) {
    const Spread spread = SpreadOf(values);
    if (floor > 0) {
        std::printf("%-52s %-4s %9.1f %9.1f  %9.2f\n", what, "us", spread.p50, spread.p99, spread.p50 / floor);
    } else {
        std::printf("%-52s %-4s %9.1f %9.1f\n", what, "us", spread.p50, spread.p99);
    }
}

// Series for the report's charts: latency by listener processes, and
// throughput by batch size (one column per listener count).
bool WriteChartSeries(const wchar_t* folder, const std::vector<std::vector<double>>& flushedByListeners,
                      const std::vector<BatchFigures>& batches) {
    const std::wstring latencyPath = std::wstring(folder) + L"\\latency_by_listeners.dat";
    const std::wstring throughputPath = std::wstring(folder) + L"\\throughput_by_batch.dat";
    std::FILE* latency = _wfopen(latencyPath.c_str(), L"w");
    std::FILE* throughput = _wfopen(throughputPath.c_str(), L"w");
    const bool opened = latency != nullptr && throughput != nullptr;
    if (opened) {
        std::fprintf(latency, "# listeners p50_us p99_us (one flushed event, post -> return)\n");
        for (std::size_t k = 0; k < flushedByListeners.size(); ++k) {
            const Spread spread = SpreadOf(flushedByListeners[k]);
            std::fprintf(latency, "%d %.2f %.2f\n", kListenerCounts[k], spread.p50, spread.p99);
        }
        std::fprintf(throughput, "# records, then records/s for");
        for (const int count : kListenerCounts) {
            std::fprintf(throughput, " %d", count);
        }
        std::fprintf(throughput, " listener processes\n");
        for (const BatchShape& shape : kBatches) {
            std::fprintf(throughput, "%d", shape.records);
            for (const int count : kListenerCounts) {
                for (const BatchFigures& b : batches) {
                    if (b.records == shape.records && b.listeners == count) {
                        std::fprintf(throughput, " %.0f", b.records * 1e6 / b.totalUs);
                    }
                }
            }
            std::fprintf(throughput, "\n");
        }
    }
    if (latency != nullptr) {
        std::fclose(latency);
    }
    if (throughput != nullptr) {
        std::fclose(throughput);
    }
    return opened;
}

const char* Verdict(bool met) { return met ? "met" : "NOT met"; }

int RunBench(const wchar_t* dataFolder) {
    std::printf("change notification and content requests across processes (VantrelSh.dll, wine64)\n");
    std::printf("figures: individually timed calls, p50 and p99 (nearest rank), after %d warm-up calls;\n"
                "batches: medians of 7 to 101 repetitions. 2 cores shared with other work: expect noise,\n"
                "trust the medians and the ratios (measured in the same run) over any single figure\n",
                kWarmupCalls);

    const std::wstring sharedName = L"notify_bench_" + std::to_wstring(GetCurrentProcessId());
    const UniqueHandle mapping(CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  sizeof(SharedBlock), sharedName.c_str()));
    const UniqueView view(mapping ? MapViewOfFile(mapping.get(), FILE_MAP_ALL_ACCESS, 0, 0, sizeof(SharedBlock))
                                  : nullptr);
    if (!view || !RegisterClasses()) {
        std::printf("shared memory or window classes failed\n");
        return 1;
    }
    auto* shared = static_cast<SharedBlock*>(view.get());
    g_slot = &shared->local;

    const RoleScope role;
    const HRESULT clientRole = VtlsCliInitialize();
    WindowThread localThread;
    if (FAILED(clientRole) || !localThread.Start()) {
        std::printf("client role 0x%08lX or the local window thread failed\n", static_cast<unsigned long>(clientRole));
        return 1;
    }
    const HWND local = localThread.Window();
    const GUID itemGuid{0x3f2b9a10, 0x4c1e, 0x4d2a, {0x9b, 0x61, 0x2e, 0x7c, 0x04, 0x5a, 0x11, 0xd3}};
    const UniqueIDList item(VtlsCreateID(L"Line3.Boiler2.SteamPressure.PV", 5, 17, &itemGuid, 0, nullptr));
    if (!item) {
        std::printf("VtlsCreateID failed\n");
        return 1;
    }

    std::vector<std::unique_ptr<HelperProcess>> listeners;
    std::vector<const Slot*> listenerSlots;
    const auto addListener = [&]() {
        const int slot = static_cast<int>(listeners.size());
        listeners.push_back(std::make_unique<HelperProcess>());
        if (!listeners.back()->Start(L"listen", slot, sharedName)) {
            std::printf("listener helper %d did not start: role 0x%08lX, register 0x%08lX\n", slot,
                        static_cast<unsigned long>(shared->helpers[slot].roleResult),
                        static_cast<unsigned long>(shared->helpers[slot].registerResult));
            return false;
        }
        listenerSlots.push_back(&shared->helpers[slot]);
        return true;
    };

    // Floors and (a): one listener process.
    const DWORD startTick = GetTickCount();
    if (!addListener()) {
        return 1;
    }
    const Slot& first = shared->helpers[0];
    Floors floors;
    MeasureFloors(SlotWindow(first), first, local, floors);
    EventLatency event;
    MeasureFlushedEvent(SlotWindow(first), first, item.get(), kLatencyEvents, event);
    std::vector<FindFigures> finds;
    finds.push_back(MeasureFind("1 listener process, as in (a)"));

    // Growth with one listener process: unrelated top-level windows (made in
    // the listener process), then a storm of deferred changes.
    std::vector<GrowthPoint> byUnrelated;
    std::vector<GrowthPoint> byListeners;
    int madeUnrelated = 0;
    for (const int count : kGrowthUnrelated) {
        if (count > madeUnrelated) {
            madeUnrelated =
                static_cast<int>(SendMessageW(SlotWindow(first), kUnrelatedMessage, count - madeUnrelated, 0));
        }
        byUnrelated.push_back(MeasureFlushGrowth(madeUnrelated, listenerSlots, item.get()));
        if (count == 0) {
            byListeners.push_back(byUnrelated.back());
            byListeners.back().x = 1;
        }
    }
    SendMessageW(SlotWindow(first), kClearUnrelatedMessage, 0, 0);
    const StormFigures storm = MeasureStorm(first, item.get());

    const auto flushedEvents = [&item](std::vector<double>& out) {
        for (int i = -kWarmupCalls; i < kLatencyEvents; ++i) {
            const LONGLONG t0 = CounterTicks();
            SHChangeNotify2(kEvent, VTLS_SHCNF_FLUSH, item.get(), nullptr, nullptr, 0);
            const LONGLONG t1 = CounterTicks();
            if (i >= 0) {
                out.push_back(Micro(t1 - t0));
            }
        }
    };

    // (b): 1, 2 and 4 listener processes; with each count, one flushed event too.
    std::vector<BatchFigures> batches;
    std::vector<std::vector<double>> flushedByListeners;
    for (const int count : kListenerCounts) {
        while (static_cast<int>(listeners.size()) < count) {
            if (!addListener()) {
                return 1;
            }
        }
        flushedByListeners.emplace_back();
        flushedEvents(flushedByListeners.back());
        for (const BatchShape& shape : kBatches) {
            batches.push_back(MeasureBatch(listenerSlots, local, item.get(), shape));
        }
    }

    // Finding the notify windows, then again with unrelated top-level windows in
    // the helpers; a flushed event to all four before and after they appear.
    finds.push_back(MeasureFind("4 listener processes"));
    std::vector<double> flushedFour;
    flushedEvents(flushedFour);
    int unrelated = 0;
    for (const Slot* slot : listenerSlots) {
        unrelated += static_cast<int>(SendMessageW(SlotWindow(*slot), kUnrelatedMessage, kUnrelatedPerHelper, 0));
    }
    finds.push_back(MeasureFind("4 listener processes + unrelated windows"));
    std::vector<double> flushedFourUnrelated;
    flushedEvents(flushedFourUnrelated);
    for (const Slot* slot : listenerSlots) {
        SendMessageW(SlotWindow(*slot), kClearUnrelatedMessage, 0, 0);
    }

    // Growth by listener processes (1 was measured above).
    for (const int count : kGrowthListeners) {
        if (count == 1) {
            continue;
        }
        while (static_cast<int>(listeners.size()) < count) {
            if (!addListener()) {
                return 1;
            }
        }
        byListeners.push_back(MeasureFlushGrowth(count, listenerSlots, item.get()));
    }

    bool helpersEnded = true;
    for (auto& helper : listeners) {
        helpersEnded = helper->Stop() && helpersEnded;
    }
    LONG received[kMaxListeners] = {};
    for (std::size_t k = 0; k < listenerSlots.size(); ++k) {
        received[k] = listenerSlots[k]->received;
    }

    // (c): a server process.
    HelperProcess server;
    if (!server.Start(L"serve", kServerSlot, sharedName)) {
        std::printf("server helper did not start: role 0x%08lX\n",
                    static_cast<unsigned long>(shared->helpers[kServerSlot].roleResult));
        return 1;
    }
    ContentFigures content;
    content.counts.assign(std::begin(kChildCounts), std::end(kChildCounts));
    content.counts.push_back(LargestAnswer());
    MeasureContent(SlotWindow(shared->helpers[kServerSlot]), local, content);
    const LONG answers = shared->helpers[kServerSlot].answers;
    helpersEnded = server.Stop() && helpersEnded;

    // (d): the shell's own delivery, in this process, to the local window thread.
    ShellFigures shell;
    MeasureShell(local, shared->local, shell);
    const double seconds = static_cast<double>(GetTickCount() - startTick) / 1000.0;

    // ---- Tables.
    const double eventPing = SpreadOf(event.ping).p50;
    const double contentPing = SpreadOf(content.ping).p50;

    PrintHeading("floors, 1 listener process running", "");
    PrintLatency("bare cross-process SendMessageW ping: send -> return", floors.ping, 0);
    PrintLatency("  send -> helper got it", floors.pingReceived, 0);
    PrintLatency("in-process cross-thread SendMessageW", floors.localSend, 0);
    // What bounding every send costs when nobody hangs.
    PrintLatency("bounded ping (SendMessageTimeoutW, 5 s)", floors.boundedPing, SpreadOf(floors.ping).p50);
    PrintLatency("bounded in-process send (1 s)", floors.boundedLocalSend, SpreadOf(floors.localSend).p50);
    std::printf("%-52s %-4s %9.0f  (in every receiver, figures and floors alike)\n",
                "receiver's acknowledgement (counter + interlocked)", "ns", floors.ackNs);

    PrintHeading("(a) one flushed event, 1 listener process", "/ping p50");
    PrintLatency("SHChangeNotify2(flush): post -> return", event.postReturn, eventPing);
    PrintLatency("  post -> listener got it", event.postReceived, eventPing);
    PrintLatency("bare cross-process ping (alternating with the above)", event.ping, eventPing);
    PrintLatency("  send -> helper got it", event.pingReceived, eventPing);
    PrintLatency("ping relayed in the helper to another thread's window", event.relay, eventPing);
    PrintLatency("the notify windows looked up by class, to the end", event.walk, eventPing);

    std::printf("\n(b) batches: N records posted without flush, then one flush; medians\n");
    std::printf("%9s %7s %9s %10s %10s %10s %12s %12s %10s %8s\n", "listeners", "records", "post us/r", "flush us",
                "total us", "records/s", "deliveries/s", "flush us/r/L", "x-thread us", "ratio");
    for (const BatchFigures& b : batches) {
        const double perDelivery = b.flushUs / (static_cast<double>(b.records) * b.listeners);
        std::printf("%9d %7d %9.2f %10.1f %10.1f %10.0f %12.0f %12.1f %10.1f %8.2f\n", b.listeners, b.records,
                    b.postUs / b.records, b.flushUs, b.totalUs, b.records * 1e6 / b.totalUs,
                    static_cast<double>(b.records) * b.listeners * 1e6 / b.totalUs, perDelivery, b.localSendUs,
                    perDelivery / b.localSendUs);
    }
    std::printf("  records/s = N / total; deliveries/s = N x listeners / total; flush us/r/L = flush time per\n"
                "  record per listener; x-thread us = in-process cross-thread SendMessageW p50, %d sends after\n"
                "  each repetition of that row; ratio = flush us/r/L / x-thread us\n",
                kFloorPerRepetition);

    std::printf("\none flushed event by the number of listener processes (post -> return, us)\n");
    std::printf("%9s %9s %9s\n", "listeners", "p50", "p99");
    for (std::size_t k = 0; k < flushedByListeners.size(); ++k) {
        const Spread spread = SpreadOf(flushedByListeners[k]);
        std::printf("%9d %9.1f %9.1f\n", kListenerCounts[k], spread.p50, spread.p99);
    }
    if (dataFolder != nullptr && !WriteChartSeries(dataFolder, flushedByListeners, batches)) {
        std::printf("the chart series could not be written to the data folder\n");
    }

    PrintHeading("(c) VtlsGetContentInSync, server in another process", "/ping p50");
    for (std::size_t c = 0; c < content.counts.size(); ++c) {
        char what[80];
        std::snprintf(what, sizeof(what), "round trip, %lu children", static_cast<unsigned long>(content.counts[c]));
        PrintLatency(what, content.request[c], contentPing);
        std::snprintf(what, sizeof(what), "  of which the callback (run in this process)");
        PrintLatency(what, content.callback[c], contentPing);
    }
    PrintLatency("bare cross-process ping", content.ping, contentPing);
    PrintLatency("two pings nested (request send, reply send back)", content.relay, contentPing);

    PrintHeading("(d) the shell's SHChangeNotify -> SHChangeNotifyRegister", "/x-thread");
    if (!shell.registered) {
        std::printf("  SHChangeNotifyRegister refused the registration: no figures\n");
    } else if (shell.postReceived.empty()) {
        std::printf("  Wine's shell delivered none of %d events within %lu ms\n", kShellEvents,
                    static_cast<unsigned long>(kShellWaitMs));
    } else {
        const double shellLocal = SpreadOf(shell.localSend).p50;
        PrintLatency("SHChangeNotify(UPDATEDIR, flush): post -> return", shell.postReturn, shellLocal);
        PrintLatency("  post -> window (another thread) got it", shell.postReceived, shellLocal);
        PrintLatency("in-process cross-thread SendMessageW (alternating)", shell.localSend, shellLocal);
        std::printf("  ours for comparison, cross-process: post -> listener got it p50 %.1f us (%.2fx the shell's)\n",
                    SpreadOf(event.postReceived).p50, SpreadOf(event.postReceived).p50 / SpreadOf(shell.postReceived).p50);
    }

    std::printf("\nfinding the notify windows among the top-level windows (p50 us, ratio to EnumWindows)\n");
    std::printf("%-42s %9s %13s %13s %9s\n", "state", "top-level", "EnumWindows", "FindWindowExW", "Find/Enum");
    for (const FindFigures& find : finds) {
        const double enumeration = SpreadOf(find.enumeration).p50;
        const double byClass = SpreadOf(find.byClass).p50;
        std::printf("%-42s %9d %13.1f %13.1f %9.2f\n", find.state, find.topLevel, enumeration, byClass,
                    byClass / enumeration);
    }
    std::printf("  EnumWindows + GetClassNameW + lstrcmpW on each (as the flush does now) against\n"
                "  FindWindowExW(NULL, after, class, NULL) until NULL; %d unrelated windows in the last state;\n"
                "  p99 of the last state: EnumWindows %.1f us, FindWindowExW %.1f us\n",
                unrelated, SpreadOf(finds.back().enumeration).p99, SpreadOf(finds.back().byClass).p99);
    std::printf("  one flushed event to 4 listener processes, post -> return: p50 %.1f us (p99 %.1f) before the\n"
                "  unrelated windows, %.1f us (p99 %.1f) with them\n",
                SpreadOf(flushedFour).p50, SpreadOf(flushedFour).p99, SpreadOf(flushedFourUnrelated).p50,
                SpreadOf(flushedFourUnrelated).p99);

    // ---- Aims.
    std::printf("\naims (ratios of p50s):\n");
    const double eventReturn = SpreadOf(event.postReturn).p50 / eventPing;
    const double eventReceived = SpreadOf(event.postReceived).p50 / eventPing;
    std::printf("  one flushed event within %.0fx a bare ping: post -> return %.2fx %s; post -> received %.2fx %s\n",
                kEventAim, eventReturn, Verdict(eventReturn <= kEventAim), eventReceived,
                Verdict(eventReceived <= kEventAim));
    bool recordsMet = true;
    std::printf("  each record to a listener within %.2fx an in-process cross-thread send, N = 1000:", kRecordAim);
    for (const BatchFigures& b : batches) {
        if (b.records == 1000) {
            const double ratio = b.flushUs / (1000.0 * b.listeners) / b.localSendUs;
            recordsMet = recordsMet && ratio <= kRecordAim;
            std::printf(" %d listener%s %.2fx", b.listeners, b.listeners == 1 ? "" : "s", ratio);
        }
    }
    std::printf(": %s\n", Verdict(recordsMet));
    bool contentMet = true;
    std::printf("  a content round trip within %.0fx a bare ping up to %lu children:", kContentAim,
                static_cast<unsigned long>(kContentAimChildren));
    for (std::size_t c = 0; c < content.counts.size(); ++c) {
        const double ratio = SpreadOf(content.request[c]).p50 / contentPing;
        if (content.counts[c] <= kContentAimChildren) {
            contentMet = contentMet && ratio <= kContentAim;
        }
        std::printf(" %lu: %.2fx", static_cast<unsigned long>(content.counts[c]), ratio);
    }
    std::printf(": %s\n", Verdict(contentMet));

    // The figures against the platform's own round trips, each the median of
    // the ratios of calls made side by side.
    using PeerSeries = std::vector<double>(&)[kContentCounts];
    const auto contentRatio = [&content](PeerSeries peer, DWORD children) {
        for (std::size_t c = 0; c < content.counts.size(); ++c) {
            if (content.counts[c] == children) {
                return MedianRatio(content.request[c], peer[c]);
            }
        }
        return 0.0;
    };
    std::vector<double> relayAndWalk;
    for (std::size_t r = 0; r < event.relay.size(); ++r) {
        relayAndWalk.push_back(event.relay[r] + event.walk[r]);
    }
    const auto printRatio = [](const char* what, double ratio, double aim) {
        std::printf("  %-88s %6.2f", what, ratio);
        if (aim > 0) {
            std::printf("  (aim <= %.2f: %s)", aim, Verdict(ratio <= aim));
        }
        std::printf("\n");
    };
    std::printf("\nagainst the platform (median of the per-round ratios ours / peer):\n");
    printRatio("one flushed change, post -> return, 1 listener process / bare cross-process SendMessageW",
               MedianRatio(event.postReturn, event.ping), kFlushPeerAim);
    printRatio("  the same change, post -> listener got it / the same bare ping",
               MedianRatio(event.postReceived, event.ping), kFlushPeerAim);
    printRatio("  post -> return / a ping relayed in the helper to another of its threads",
               MedianRatio(event.postReturn, event.relay), 0);
    printRatio("  post -> return / that relayed ping plus the look-up of the notify windows (its shape)",
               MedianRatio(event.postReturn, relayAndWalk), 0);
    printRatio("content request, 10 children / bare ping", contentRatio(content.pingBeside, 10), kContent10PeerAim);
    printRatio("content request, 1000 children / bare ping", contentRatio(content.pingBeside, 1000),
               kContent1000PeerAim);
    std::printf("    content request / its shape: the server window looked up, then a send each way, the\n"
                "    reply carrying the answer's bytes by WM_COPYDATA into task memory:");
    for (const DWORD children : content.counts) {
        std::printf(" %lu: %.2f", static_cast<unsigned long>(children), contentRatio(content.bytesBeside, children));
    }
    std::printf("\n");

    PrintGrowth("growth: one flushed change by listener processes (post -> return)", "listeners",
                "SendMessageW(WM_NULL) to each of the same notify windows, one after the other", byListeners);
    PrintGrowth("growth: one flushed change by unrelated top-level windows, 1 listener process", "unrelated",
                "SendMessageW(WM_NULL) to the same notify window", byUnrelated);
    std::vector<GrowthPoint> byChildren;
    for (std::size_t c = 0; c < content.counts.size(); ++c) {
        if (content.counts[c] == 0) {
            continue;
        }
        GrowthPoint point;
        point.x = static_cast<int>(content.counts[c]);
        point.ours = content.request[c];
        point.peer = content.pingBeside[c];
        byChildren.push_back(point);
    }
    PrintGrowth("growth: a content request by its children (the last: the most under the 512 KiB bound)",
                "children", "bare cross-process SendMessageW ping, right before or after each request", byChildren);
    std::printf("\nstorm: %d deferred changes (VTLS_SHCNF_FLUSHNOWAIT) posted by one thread, 1 listener process\n",
                kStormChanges);
    std::printf("  posting: %.2f s, %.0f changes/s; the last arrived %.2f s after the first post; arrived %ld of %d\n",
                storm.postSeconds, kStormChanges / storm.postSeconds, storm.lastArrivalSeconds,
                static_cast<long>(storm.arrived), kStormChanges);
    std::printf("  poster's private bytes (PagefileUsage): %.1f MB before, %.1f MB at most while sampled (every\n"
                "  2000 posts and every 10 ms of the wait), so %.1f MB for the queue and the batch in flight\n",
                storm.privateBeforeMb, storm.sampledPeakMb, storm.sampledPeakMb - storm.privateBeforeMb);
    if (dataFolder != nullptr &&
        !(WriteGrowthSeries(dataFolder, "growth_listeners.dat", "listener processes", byListeners) &&
          WriteGrowthSeries(dataFolder, "growth_unrelated.dat", "unrelated top-level windows", byUnrelated) &&
          WriteGrowthSeries(dataFolder, "growth_children.dat", "children of a content request", byChildren) &&
          WriteStormSeries(dataFolder, storm))) {
        std::printf("the growth series could not be written to the data folder\n");
    }

    // ---- Sanity.
    int shortDeliveries = 0;
    for (const BatchFigures& b : batches) {
        shortDeliveries += b.shortDeliveries;
    }
    std::printf("\nsanity:\n");
    std::printf("  floors: pings not acknowledged on return %d of %d\n", floors.missedPings, kFloorCalls);
    std::printf("  (a): events not received when the flush returned %d of %d; receive times outside [post, return] %d\n",
                event.missed, kLatencyEvents, event.outOfSpan);
    std::printf("  (b): listener-batches incomplete when the flush returned %d; records received per listener process:",
                shortDeliveries);
    for (std::size_t k = 0; k < listenerSlots.size(); ++k) {
        std::printf(" %ld", static_cast<long>(received[k]));
    }
    std::printf("\n");
    bool findsAgree = true;
    for (const FindFigures& find : finds) {
        std::printf("  find, %s: both ways found the same %d notify windows: %s\n", find.state, find.notifyWindows,
                    find.sameWindows ? "yes" : "NO");
        findsAgree = findsAgree && find.sameWindows;
    }
    std::printf("  (c): replies missing or with the wrong child count %d; requests the server answered %ld\n",
                content.failures, static_cast<long>(answers));
    std::printf("  (d): shell registration %s; events never received %d, received only after the post returned %d\n",
                shell.registered ? "accepted" : "refused", shell.missed, shell.late);
    std::printf("  helpers left their roles and ended cleanly: %s; measuring took %.1f s\n",
                helpersEnded ? "yes" : "NO", seconds);

    int growthMissed = 0;
    for (const auto* points : {&byListeners, &byUnrelated}) {
        for (const GrowthPoint& point : *points) {
            growthMissed += point.missed;
        }
    }
    std::printf("  growth: deliveries not complete on return %d; storm: changes arrived %ld of %d\n", growthMissed,
                static_cast<long>(storm.arrived), kStormChanges);
    const bool ok = growthMissed == 0 && storm.arrived == kStormChanges && floors.missedPings == 0 && event.missed == 0 && shortDeliveries == 0 && findsAgree &&
                    finds.back().notifyWindows == kListenerCounts[std::size(kListenerCounts) - 1] + 1 && content.failures == 0 && helpersEnded;
    std::printf("\n%s\n", ok ? "all checks passed" : "CHECKS FAILED");
    return ok ? 0 : 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc == 7 && (std::wcscmp(argv[1], L"listen") == 0 || std::wcscmp(argv[1], L"serve") == 0)) {
        return RunHelper(std::wcscmp(argv[1], L"serve") == 0, argv[2], _wtoi(argv[3]), argv[4], argv[5],
                         static_cast<DWORD>(_wtoi(argv[6])));
    }
    if (argc == 3 && std::wcscmp(argv[1], L"--data") == 0) {
        return RunBench(argv[2]);
    }
    if (argc != 1) {
        std::fprintf(stderr,
                     "usage: notify_bench [--data FOLDER]  (FOLDER gets the chart series as text files;\n"
                     "the helper modes listen and serve are the bench's own)\n");
        return 2;
    }
    return RunBench(nullptr);
}
