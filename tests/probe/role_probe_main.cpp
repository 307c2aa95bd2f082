// vtls_role_probe: takes a role of the library in a process of its own, on
// command from a test, and reports what it saw when told to leave.
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "base/unique_resource.h"
#include "base/portable/byte_order.h"
#include "notify/portable/change_format.h"

namespace {

// ---- Roles --------------------------------------------------------------------

// How the server's content callback answers; chosen on the command line.
enum class Answer { kEcho, kRefuse, kFail, kNull, kMalformed, kSized, kSlow, kSlowRefuse, kHang, kLate };
Answer g_answer = Answer::kEcho;
LONG g_calls = 0;
LONG g_rootCalls = 0;
// The quit event: a callback that hangs ends when the test lets the role go.
HANDLE g_quit = nullptr;

// Waits for the quit event or ms, whichever comes first.
void Hang(DWORD ms) { WaitForSingleObject(g_quit, ms); }

// A one-item child named "child<value>", so the test can build the same answer.
HGLOBAL EchoAnswer(LPCITEMIDLIST parent, DWORD value) {
    const GUID guid{value, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    const std::wstring name = L"child" + std::to_wstring(value);
    LPITEMIDLIST child = VtlsCreateID(name.c_str(), 5, value, &guid, 0, nullptr);
    LPCITEMIDLIST children[] = {child};
    const HGLOBAL block = SHCreateCIDA(parent, 1, children);
    VtlsSHFree(child);
    return block;
}

// A packed CIDA of exactly `total` bytes: one child list made of items of at
// most 65,534 bytes each (total >= 16).
HGLOBAL SizedAnswer(DWORD total) {
    const HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, total);
    if (block == nullptr) return nullptr;
    auto* bytes = static_cast<std::uint8_t*>(block);
    const auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(bytes + at, &v, 4); };
    put32(0, 1);
    put32(4, 0);
    put32(8, 12);
    std::size_t remaining = total - 12 - 2;  // the list's items, then its terminator
    std::size_t at = 12;
    while (remaining > 0) {
        std::size_t item = remaining > 65534 ? 65534 : remaining;
        if (remaining - item == 1) item -= 1;  // never leave a 1-byte item
        const auto cb = static_cast<std::uint16_t>(item);
        std::memcpy(bytes + at, &cb, 2);
        at += item;
        remaining -= item;
    }
    return block;
}

HRESULT WINAPI ContentCallback(LPCITEMIDLIST parent, DWORD value, HGLOBAL* content) {
    InterlockedIncrement(&g_calls);
    if (parent == nullptr) InterlockedIncrement(&g_rootCalls);
    switch (g_answer) {
        case Answer::kEcho: *content = EchoAnswer(parent, value); return *content ? S_OK : E_OUTOFMEMORY;
        case Answer::kRefuse: return S_FALSE;
        case Answer::kFail: return E_ACCESSDENIED;
        case Answer::kNull: *content = nullptr; return S_OK;
        case Answer::kMalformed: {
            // A count of two children with one offset outside the block.
            *content = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 16);
            auto* bytes = static_cast<std::uint32_t*>(*content);
            bytes[0] = 2;
            bytes[2] = 0x7FFFFFF0;
            return S_OK;
        }
        case Answer::kSized: *content = SizedAnswer(value); return S_OK;
        case Answer::kSlow:
            Sleep(1500);
            *content = EchoAnswer(parent, value);
            return *content ? S_OK : E_OUTOFMEMORY;
        case Answer::kSlowRefuse: Sleep(1500); return S_FALSE;
        case Answer::kHang: Hang(60000); return S_FALSE;
        case Answer::kLate:
            // 1: answered just after the requester gave up; 3: refused; 5: within
            // the bound but slow; anything else at once.
            if (value == 3) return S_FALSE;
            if (value == 1) Hang(VTLS_CONTENT_TIMEOUT_MS + 400);
            if (value == 5) Sleep(1500);
            *content = EchoAnswer(parent, value);
            return *content ? S_OK : E_OUTOFMEMORY;
    }
    return E_UNEXPECTED;
}

std::optional<Answer> ParseAnswer(const wchar_t* text) {
    const struct {
        const wchar_t* name;
        Answer answer;
    } answers[] = {{L"echo", Answer::kEcho}, {L"refuse", Answer::kRefuse}, {L"fail", Answer::kFail},
                   {L"null", Answer::kNull}, {L"malformed", Answer::kMalformed}, {L"sized", Answer::kSized},
                   {L"slow", Answer::kSlow}, {L"slow-refuse", Answer::kSlowRefuse}, {L"hang", Answer::kHang},
                   {L"late", Answer::kLate}};
    for (const auto& entry : answers) {
        if (std::wcscmp(text, entry.name) == 0) return entry.answer;
    }
    return std::nullopt;
}

// ---- Listeners ------------------------------------------------------------------

std::string Hex(const void* data, std::size_t size) {
    std::string text;
    char digits[3];
    for (std::size_t i = 0; i < size; ++i) {
        std::snprintf(digits, sizeof(digits), "%02x", static_cast<const unsigned char*>(data)[i]);
        text += digits;
    }
    return text.empty() ? "-" : text;
}

std::size_t ListBytes(LPCITEMIDLIST list) {
    if (list == nullptr) return 0;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(list);
    std::size_t size = 0;
    for (std::uint16_t cb; (cb = static_cast<std::uint16_t>(bytes[size] | (bytes[size + 1] << 8))) != 0;) size += cb;
    return size + 2;
}

std::vector<HWND> g_listeners;
std::vector<std::string> g_events;  // in arrival order
CRITICAL_SECTION g_eventsLock;      // listeners of other threads add to g_events too

std::string EventLine(const char* kind, std::size_t index, const VTLSCHANGEINFO* info) {
    return std::string(kind) + " " + std::to_string(index) + " " + std::to_string(info->event) + " " +
           Hex(info->list1, ListBytes(info->list1)) + " " + Hex(info->list2, ListBytes(info->list2)) + " " +
           Hex(info->extra, info->cbExtra);
}

void AddEvent(std::string line) {
    EnterCriticalSection(&g_eventsLock);
    g_events.push_back(std::move(line));
    LeaveCriticalSection(&g_eventsLock);
}

LRESULT CALLBACK ListenerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_VTLS_FSNOTIFY) {
        std::size_t index = 0;
        while (index < g_listeners.size() && g_listeners[index] != window) ++index;
        AddEvent(EventLine("event", index, reinterpret_cast<const VTLSCHANGEINFO*>(lParam)));
        return 0;
    }
    if (message == WM_VTLS_FSNOTIFY_PRIVATE) {
        AddEvent("private");
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// "stall" mode: one more listener, on a thread of its own, stops inside its
// g_stallAt-th event (1-based) after signalling g_stalled, until g_release is
// signalled; it signals g_resumed as it returns. Its events are "hung-event" lines.
std::size_t g_stallAt = 0;
std::size_t g_stallSeen = 0;
HANDLE g_stalled = nullptr;
HANDLE g_release = nullptr;
HANDLE g_resumed = nullptr;

LRESULT CALLBACK StallingProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_VTLS_FSNOTIFY) {
        const bool stall = ++g_stallSeen == g_stallAt;
        if (stall) {
            SetEvent(g_stalled);
            WaitForSingleObject(g_release, 60000);
        }
        AddEvent(EventLine("hung-event", 0, reinterpret_cast<const VTLSCHANGEINFO*>(lParam)));
        if (stall) SetEvent(g_resumed);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

DWORD WINAPI StallingThread(void* registered) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = StallingProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"vtls_probe_stalling";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, L"vtls_probe_stalling", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    std::printf("register-stalling 0x%08lX\n", static_cast<unsigned long>(VtlsSHChangeNotifyRegister(window)));
    SetEvent(static_cast<HANDLE>(registered));
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    return 0;
}

void CreateListeners(int count) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = ListenerProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"vtls_probe_listener";
    RegisterClassW(&windowClass);
    for (int i = 0; i < count; ++i) {
        g_listeners.push_back(CreateWindowExW(0, L"vtls_probe_listener", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                              GetModuleHandleW(nullptr), nullptr));
    }
    // Listeners are numbered in the order the library delivers to them, by the
    // handle's 32-bit value. Creation order says nothing about that: Wine reuses
    // the slots of destroyed windows, newest first, with a new generation.
    std::sort(g_listeners.begin(), g_listeners.end(), [](HWND a, HWND b) {
        return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(a)) <
               static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(b));
    });
    for (std::size_t i = 0; i < g_listeners.size(); ++i) {
        std::printf("register %zu 0x%08lX\n", i,
                    static_cast<unsigned long>(VtlsSHChangeNotifyRegister(g_listeners[i])));
    }
}

// Waits for the event while the listeners take their messages.
DWORD WaitPumping(HANDLE event, DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs) return WAIT_TIMEOUT;
        const DWORD waited = MsgWaitForMultipleObjects(1, &event, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
        if (waited != WAIT_OBJECT_0 + 1) return waited;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
}

// Takes a role, signals `ready`, holds the role until `quit` is signalled, then
// leaves it and reports what it saw.
int HoldRole(bool server, const wchar_t* ready, const wchar_t* quit, int listeners = 0) {
    const HRESULT hr = server ? VtlsSrvInitialize(ContentCallback) : VtlsCliInitialize();
    std::printf("initialize 0x%08lX\n", static_cast<unsigned long>(hr));
    std::fflush(stdout);
    const vtls::UniqueHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
    const vtls::UniqueHandle quitEvent(OpenEventW(SYNCHRONIZE, FALSE, quit));
    if (!readyEvent || !quitEvent || FAILED(hr)) {
        return 1;
    }
    g_quit = quitEvent.get();
    CreateListeners(listeners);
    if (g_stallAt != 0) {
        const vtls::UniqueHandle registered(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        const vtls::UniqueHandle thread(CreateThread(nullptr, 0, StallingThread, registered.get(), 0, nullptr));
        if (!thread || WaitForSingleObject(registered.get(), 10000) != WAIT_OBJECT_0) return 1;
    }
    SetEvent(readyEvent.get());
    const DWORD waited = WaitPumping(quitEvent.get(), 120000);
    for (const HWND window : g_listeners) VtlsSHChangeNotifyRevoke(window);
    VtlsTerminate();
    EnterCriticalSection(&g_eventsLock);
    for (const std::string& line : g_events) std::printf("%s\n", line.c_str());
    std::printf("events %zu\n", g_events.size());
    LeaveCriticalSection(&g_eventsLock);
    std::printf("quit-signalled %d\n", waited == WAIT_OBJECT_0 ? 1 : 0);
    std::printf("calls %ld\n", g_calls);
    std::printf("root-calls %ld\n", g_rootCalls);
    // After leaving the role this process holds none of the library's windows.
    const bool channel = FindWindowW(VTLS_SRVCHANNEL_CLASS, nullptr) != nullptr &&
                         [] {
                             DWORD pid = 0;
                             GetWindowThreadProcessId(FindWindowW(VTLS_SRVCHANNEL_CLASS, nullptr), &pid);
                             return pid == GetCurrentProcessId();
                         }();
    std::printf("own-channel-window-after %d\n", channel ? 1 : 0);
    return 0;
}

// ---- Posting -------------------------------------------------------------------

// A two-item list naming one event: a 6-byte item holding the poster's id, then
// one holding the sequence number. Distinct per event and cheap to print.
std::vector<std::uint8_t> EventList(std::uint32_t poster, std::uint32_t sequence) {
    std::vector<std::uint8_t> list(14, 0);
    vtls::itemid::StoreU16(list.data(), 6);
    vtls::itemid::StoreU32(list.data() + 2, poster);
    vtls::itemid::StoreU16(list.data() + 6, 6);
    vtls::itemid::StoreU32(list.data() + 8, sequence);
    return list;  // the last two bytes stay the terminator
}

// Extra bytes of an event: 0 to 3 of them, so records differ in size. The tests
// compute the same bytes.
std::vector<std::uint8_t> EventExtra(std::uint32_t poster, std::uint32_t sequence) {
    std::vector<std::uint8_t> extra(sequence % 4);
    for (std::size_t i = 0; i < extra.size(); ++i) {
        extra[i] = static_cast<std::uint8_t>(sequence * 7 + i + poster * 31);
    }
    return extra;
}

// Batch n holds between half and one and a half times `batch` events.
std::uint32_t BatchSize(std::uint32_t batch, std::uint32_t n) {
    const std::uint32_t size = batch / 2 + (n * 37) % (batch + 1);
    return size == 0 ? 1 : size;
}

// Holds no role: a flush offers each batch to every process's notify window.
int Post(const wchar_t* ready, const wchar_t* go, std::uint32_t poster, std::uint32_t count, std::uint32_t batch) {
    const vtls::UniqueHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
    const vtls::UniqueHandle goEvent(OpenEventW(SYNCHRONIZE, FALSE, go));
    if (!readyEvent || !goEvent || batch == 0) {
        return 1;
    }
    SetEvent(readyEvent.get());
    if (WaitForSingleObject(goEvent.get(), 60000) != WAIT_OBJECT_0) {
        return 3;
    }
    const LONG event = poster % 2 == 0 ? SHCNE_UPDATEITEM : SHCNE_ATTRIBUTES;
    const DWORD start = GetTickCount();
    std::uint32_t batches = 0;
    std::uint32_t inBatch = 0;
    std::uint32_t target = BatchSize(batch, 0);
    for (std::uint32_t sequence = 0; sequence < count; ++sequence) {
        const std::vector<std::uint8_t> list = EventList(poster, sequence);
        const std::vector<std::uint8_t> extra = EventExtra(poster, sequence);
        const bool flush = ++inBatch == target || sequence + 1 == count;
        SHChangeNotify2(event, flush ? VTLS_SHCNF_FLUSH : VTLS_SHCNF_IDLIST,
                        reinterpret_cast<LPCITEMIDLIST>(list.data()), nullptr, extra.empty() ? nullptr : extra.data(),
                        static_cast<UINT>(extra.size()));
        if (flush) {
            inBatch = 0;
            target = BatchSize(batch, ++batches);
        }
    }
    std::printf("posted %lu\n", static_cast<unsigned long>(count));
    std::printf("batches %lu\n", static_cast<unsigned long>(batches));
    std::printf("elapsed-ms %lu\n", static_cast<unsigned long>(GetTickCount() - start));
    return 0;
}

// ---- A storm of deferred changes ---------------------------------------------------

SIZE_T PagefileUsage(bool peak) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
    return peak ? counters.PeakPagefileUsage : counters.PagefileUsage;
}

// Queues `count` changes without a flush, then flushes them all at once: far
// more than one message carries. Reports the bytes queued and what the process's
// memory grew by at its peak.
int Storm(const wchar_t* ready, const wchar_t* go, std::uint32_t poster, std::uint32_t count) {
    const vtls::UniqueHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
    const vtls::UniqueHandle goEvent(OpenEventW(SYNCHRONIZE, FALSE, go));
    if (!readyEvent || !goEvent) return 1;
    // The lists and extra bytes are made before the baseline is taken.
    std::vector<std::vector<std::uint8_t>> lists, extras;
    std::size_t queued = 0;
    for (std::uint32_t sequence = 0; sequence < count; ++sequence) {
        lists.push_back(EventList(poster, sequence));
        extras.push_back(EventExtra(poster, sequence));
        queued += vtls::notify::kRecordHeaderSize + lists.back().size() + extras.back().size();
    }
    SetEvent(readyEvent.get());
    if (WaitForSingleObject(goEvent.get(), 60000) != WAIT_OBJECT_0) return 3;
    const SIZE_T baseline = PagefileUsage(false);
    const LONG event = poster % 2 == 0 ? SHCNE_UPDATEITEM : SHCNE_ATTRIBUTES;
    for (std::uint32_t sequence = 0; sequence < count; ++sequence) {
        const auto& extra = extras[sequence];
        SHChangeNotify2(event, 0, reinterpret_cast<LPCITEMIDLIST>(lists[sequence].data()), nullptr,
                        extra.empty() ? nullptr : extra.data(), static_cast<UINT>(extra.size()));
    }
    const DWORD start = GetTickCount();
    SHChangeNotify2(0, VTLS_SHCNF_FLUSH, nullptr, nullptr, nullptr, 0);
    std::printf("flush-ms %lu\n", GetTickCount() - start);
    std::printf("posted %lu\n", static_cast<unsigned long>(count));
    std::printf("queued-bytes %zu\n", queued);
    std::printf("peak-pagefile-growth %lld\n",
                static_cast<long long>(PagefileUsage(true)) - static_cast<long long>(baseline));
    return 0;
}

// ---- Several threads of one process --------------------------------------------

struct ThreadPoster {
    HANDLE go;
    std::uint32_t id;
    std::uint32_t count;
};

// Posts its events with a mix of flags: most wait in the queue, every fifth is
// flushed at once, every fifth asks for the timer; a last flush sends the rest.
DWORD WINAPI PostingThread(void* parameter) {
    const auto* poster = static_cast<const ThreadPoster*>(parameter);
    if (WaitForSingleObject(poster->go, 60000) != WAIT_OBJECT_0) return 1;
    const LONG event = poster->id % 2 == 0 ? SHCNE_UPDATEITEM : SHCNE_ATTRIBUTES;
    for (std::uint32_t sequence = 0; sequence < poster->count; ++sequence) {
        const std::vector<std::uint8_t> list = EventList(poster->id, sequence);
        const std::vector<std::uint8_t> extra = EventExtra(poster->id, sequence);
        const UINT flags = sequence % 5 == 4 ? VTLS_SHCNF_FLUSH : sequence % 5 == 2 ? VTLS_SHCNF_FLUSHNOWAIT : 0;
        SHChangeNotify2(event, flags, reinterpret_cast<LPCITEMIDLIST>(list.data()), nullptr,
                        extra.empty() ? nullptr : extra.data(), static_cast<UINT>(extra.size()));
    }
    SHChangeNotify2(0, VTLS_SHCNF_FLUSH, nullptr, nullptr, nullptr, 0);
    return 0;
}

volatile LONG g_postersRunning = 0;

// Registers and revokes windows of its own while the posters post.
DWORD WINAPI RegistrationChurn(void* /*unused*/) {
    LONG rounds = 0;
    while (InterlockedCompareExchange(&g_postersRunning, 0, 0) != 0) {
        const HWND window = CreateWindowExW(0, L"vtls_probe_listener", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                            GetModuleHandleW(nullptr), nullptr);
        VtlsSHChangeNotifyRegister(window);
        MSG message;
        for (int i = 0; i < 20; ++i) {
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
            Sleep(0);
        }
        VtlsSHChangeNotifyRevoke(window);
        DestroyWindow(window);
        ++rounds;
    }
    return static_cast<DWORD>(rounds);
}

// Client role with one listener on the main thread; `threads` threads post
// `count` events each (poster ids first, first + 1, ...) while two more register
// and revoke windows. Reports once every poster has returned from its last flush.
int PostFromThreads(const wchar_t* ready, const wchar_t* go, const wchar_t* /*unused*/, std::uint32_t first,
                    std::uint32_t threads, std::uint32_t count) {
    const vtls::UniqueHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
    const vtls::UniqueHandle goEvent(OpenEventW(SYNCHRONIZE, FALSE, go));
    if (!readyEvent || !goEvent || VtlsCliInitialize() != S_OK) return 1;
    CreateListeners(1);
    std::vector<ThreadPoster> posters;
    for (std::uint32_t t = 0; t < threads; ++t) posters.push_back({goEvent.get(), first + t, count});
    InterlockedExchange(&g_postersRunning, 1);
    std::vector<vtls::UniqueHandle> running;
    for (ThreadPoster& poster : posters) running.emplace_back(CreateThread(nullptr, 0, PostingThread, &poster, 0, nullptr));
    vtls::UniqueHandle churn[2] = {vtls::UniqueHandle(CreateThread(nullptr, 0, RegistrationChurn, nullptr, 0, nullptr)),
                                   vtls::UniqueHandle(CreateThread(nullptr, 0, RegistrationChurn, nullptr, 0, nullptr))};
    SetEvent(readyEvent.get());
    bool finished = true;
    for (const auto& thread : running) {
        finished = finished && thread && WaitPumping(thread.get(), 120000) == WAIT_OBJECT_0;
    }
    InterlockedExchange(&g_postersRunning, 0);
    DWORD rounds = 0;
    for (const auto& thread : churn) {
        DWORD exitCode = 0;
        if (thread && WaitPumping(thread.get(), 10000) == WAIT_OBJECT_0 && GetExitCodeThread(thread.get(), &exitCode)) {
            rounds += exitCode;
        }
    }
    VtlsSHChangeNotifyRevoke(g_listeners[0]);
    VtlsTerminate();
    EnterCriticalSection(&g_eventsLock);
    for (const std::string& line : g_events) std::printf("%s\n", line.c_str());
    std::printf("events %zu\n", g_events.size());
    LeaveCriticalSection(&g_eventsLock);
    std::printf("posters-finished %d\n", finished ? 1 : 0);
    std::printf("registration-rounds %lu\n", static_cast<unsigned long>(rounds));
    return 0;
}

// Takes and leaves the client role `cycles` times, as fast as it can.
int ChurnClientRole(const wchar_t* ready, const wchar_t* go, std::uint32_t cycles) {
    const vtls::UniqueHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
    const vtls::UniqueHandle goEvent(OpenEventW(SYNCHRONIZE, FALSE, go));
    if (!readyEvent || !goEvent) return 1;
    SetEvent(readyEvent.get());
    if (WaitForSingleObject(goEvent.get(), 60000) != WAIT_OBJECT_0) return 3;
    std::uint32_t failures = 0;
    for (std::uint32_t i = 0; i < cycles; ++i) {
        if (VtlsCliInitialize() != S_OK) ++failures;
        VtlsTerminate();
    }
    std::printf("cycles %lu\n", static_cast<unsigned long>(cycles));
    std::printf("failures %lu\n", static_cast<unsigned long>(failures));
    return 0;
}

// ---- Hostile sender ------------------------------------------------------------

using ByteVector = std::vector<std::uint8_t>;
namespace fmt = vtls::notify;
using vtls::itemid::LoadU32;
using vtls::itemid::StoreU32;

// Poster id of the well-formed batches the hostile sender interleaves, and of
// the events inside the batches it breaks.
constexpr std::uint32_t kControlPoster = 0x7E57;
constexpr std::uint32_t kBrokenPoster = 0xBAD;

struct Contents {
    ByteVector list1;
    ByteVector list2;
    ByteVector extra;
};

// One record as the batch layout lays it out: header, list 1, list 2, extra.
ByteVector EncodeRecord(std::uint32_t event, const Contents& contents) {
    ByteVector record(fmt::kRecordHeaderSize);
    std::size_t at = fmt::kRecordHeaderSize;
    const auto put = [&](std::size_t field, const ByteVector& bytes) {
        if (bytes.empty()) return;
        StoreU32(record.data() + field, static_cast<std::uint32_t>(at));
        record.insert(record.end(), bytes.begin(), bytes.end());
        at += bytes.size();
    };
    put(fmt::kRecordList1Offset, contents.list1);
    put(fmt::kRecordList2Offset, contents.list2);
    put(fmt::kRecordExtraOffset, contents.extra);
    StoreU32(record.data() + fmt::kRecordSizeOffset, static_cast<std::uint32_t>(record.size()));
    StoreU32(record.data() + fmt::kRecordEventOffset, event);
    StoreU32(record.data() + fmt::kRecordExtraSizeOffset, static_cast<std::uint32_t>(contents.extra.size()));
    return record;
}

ByteVector EncodeBatch(const std::vector<ByteVector>& records) {
    ByteVector batch(fmt::kBatchHeaderSize);
    for (const ByteVector& record : records) batch.insert(batch.end(), record.begin(), record.end());
    StoreU32(batch.data() + fmt::kBatchSizeOffset, static_cast<std::uint32_t>(batch.size()));
    StoreU32(batch.data() + fmt::kBatchCountOffset, static_cast<std::uint32_t>(records.size()));
    return batch;
}

class Random {
public:
    explicit Random(std::uint32_t seed) : engine_(seed) {}
    std::uint32_t Next() { return engine_(); }
    // Uniform enough in [low, high].
    std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
        const std::uint64_t span = static_cast<std::uint64_t>(high) - low + 1;
        return low + static_cast<std::uint32_t>(Next() % span);
    }
    ByteVector Bytes(std::size_t size) {
        ByteVector bytes(size);
        for (auto& byte : bytes) byte = static_cast<std::uint8_t>(Next());
        return bytes;
    }

private:
    std::mt19937 engine_;
};

// A batch that breaks one rule of the layout for certain, so a receiver must
// drop it whole. `size` receives the cbData to send (it may differ from the
// bytes' own size field).
ByteVector BrokenBatch(Random& random, std::uint32_t& mutation, std::size_t& size) {
    const std::uint32_t count = random.Between(1, 4);
    std::vector<ByteVector> records;
    std::vector<std::size_t> starts;
    std::size_t at = fmt::kBatchHeaderSize;
    mutation = random.Between(0, 10);
    const std::uint32_t victim = random.Between(0, count - 1);
    for (std::uint32_t i = 0; i < count; ++i) {
        Contents contents;
        contents.list1 = EventList(kBrokenPoster, i);
        // The record an unterminated-list mutation breaks carries list 1 alone,
        // so its terminator is the record's last two bytes.
        const bool plain = mutation == 8 && i == victim;
        if (!plain && random.Between(0, 1) == 1) contents.list2 = EventList(kBrokenPoster, 100 + i);
        if (!plain && random.Between(0, 1) == 1) contents.extra = random.Bytes(random.Between(1, 24));
        records.push_back(EncodeRecord(SHCNE_UPDATEITEM, contents));
        starts.push_back(at);
        at += records.back().size();
    }
    ByteVector batch = EncodeBatch(records);
    size = batch.size();
    std::uint8_t* record = batch.data() + starts[victim];
    const std::uint32_t recordSize = LoadU32(record + fmt::kRecordSizeOffset);
    const std::size_t remaining = batch.size() - starts[victim];
    switch (mutation) {
        case 0:  // fewer bytes arrive than the size field says
            size = random.Between(1, static_cast<std::uint32_t>(batch.size() - 1));
            break;
        case 1: {  // more bytes arrive than the size field says
            const ByteVector tail = random.Bytes(random.Between(1, 64));
            batch.insert(batch.end(), tail.begin(), tail.end());
            size = batch.size();
            break;
        }
        case 2:  // cut short, with a size field that agrees: records run past the end
            size = random.Between(static_cast<std::uint32_t>(fmt::kBatchHeaderSize),
                                  static_cast<std::uint32_t>(batch.size() - 1));
            batch.resize(size);
            StoreU32(batch.data() + fmt::kBatchSizeOffset, static_cast<std::uint32_t>(size));
            break;
        case 3:  // more records counted than there are
            StoreU32(batch.data() + fmt::kBatchCountOffset,
                     random.Between(0, 3) == 0 ? 0xFFFFFFFFu : count + random.Between(1, 1000));
            break;
        case 4:  // a record smaller than its header
            StoreU32(record + fmt::kRecordSizeOffset, random.Between(0, fmt::kRecordHeaderSize - 1));
            break;
        case 5:  // a record larger than what is left of the batch
            StoreU32(record + fmt::kRecordSizeOffset,
                     random.Between(static_cast<std::uint32_t>(remaining + 1), 0xFFFFFFFFu));
            break;
        case 6:  // a record too short for what it holds: the last list or extra bytes end outside it
            StoreU32(record + fmt::kRecordSizeOffset, recordSize - random.Between(1, 12));
            break;
        case 7: {  // a list offset inside the header or past the record
            const std::size_t field = random.Between(0, 1) == 0 ? fmt::kRecordList1Offset : fmt::kRecordList2Offset;
            StoreU32(record + field, random.Between(0, 1) == 0 ? random.Between(1, fmt::kRecordHeaderSize - 1)
                                                               : random.Between(recordSize, recordSize + 4096));
            break;
        }
        case 8:  // list 1 without its terminator: the last item runs past the record
            vtls::itemid::StoreU16(record + recordSize - 2, static_cast<std::uint16_t>(random.Between(2, 0xFFFF)));
            break;
        case 9:  // extra bytes outside the record
            if (LoadU32(record + fmt::kRecordExtraOffset) != 0 && random.Between(0, 1) == 0) {
                const std::uint32_t offset = LoadU32(record + fmt::kRecordExtraOffset);
                StoreU32(record + fmt::kRecordExtraSizeOffset, recordSize - offset + random.Between(1, 4096));
            } else {
                StoreU32(record + fmt::kRecordExtraOffset, recordSize + random.Between(1, 4096));
                StoreU32(record + fmt::kRecordExtraSizeOffset, random.Between(0, 16));
            }
            break;
        default:  // a private record, which never leaves its process
            StoreU32(record + fmt::kRecordPrivateOffset, random.Between(1, 0xFFFFFFFFu));
            break;
    }
    return batch;
}

// A content request that cannot be read: too short for the value and a
// terminator, or a parent list whose terminator lies outside the bytes.
ByteVector BrokenRequest(Random& random, std::size_t& size) {
    ByteVector request(4);
    StoreU32(request.data(), random.Next());
    const ByteVector list = EventList(kBrokenPoster, random.Next());
    request.insert(request.end(), list.begin(), list.end());
    request.resize(request.size() + 4);  // the unused trailer
    const std::size_t listEnd = 4 + list.size();
    switch (random.Between(0, 2)) {
        case 0: size = random.Between(1, 5); break;
        case 1: size = random.Between(6, static_cast<std::uint32_t>(listEnd - 1)); break;
        default:  // an item claims more bytes than arrive
            vtls::itemid::StoreU16(request.data() + 4 + 6 * random.Between(0, 1),
                                   static_cast<std::uint16_t>(random.Between(static_cast<std::uint32_t>(list.size()),
                                                                             0xFFFF)));
            size = request.size();
            break;
    }
    return request;
}

// The sender's own window: the server answers content requests to it.
ByteVector g_reply;
bool g_replied = false;

LRESULT CALLBACK HostileProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (data != nullptr && data->dwData == VTLS_COPYDATA_CONTENT) {
            const auto* bytes = static_cast<const std::uint8_t*>(data->lpData);
            g_reply.assign(bytes, bytes + (bytes == nullptr ? 0 : data->cbData));
            g_replied = true;
        }
        return TRUE;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// Sends random, truncated and broken WM_COPYDATA payloads to one window, and
// every 40th message a well-formed one whose effect the target must still show:
// a change batch (its events reach the target's listeners) or a content request
// (its reply reaches this process's window, matching the echo answer).
int Hostile(const wchar_t* targetClass, const wchar_t* targetName, std::uint32_t count, std::uint32_t seed) {
    const HWND target = FindWindowW(targetClass, targetName);
    if (target == nullptr) {
        std::printf("target-missing 1\n");
        return 3;
    }
    const bool notifyTarget = std::wcscmp(targetClass, VTLS_FSNOTIFY_CLASS) == 0;
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = HostileProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"vtls_probe_hostile";
    RegisterClassW(&windowClass);
    const HWND self = CreateWindowExW(0, L"vtls_probe_hostile", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);

    Random random(seed);
    std::uint32_t sent = 0, timeouts = 0, failures = 0, controls = 0, controlEvents = 0, matching = 0;
    std::uint32_t kinds[8] = {};
    std::uint32_t mutations[11] = {};
    const auto send = [&](ULONG_PTR dwData, const ByteVector& bytes, std::size_t size, bool nullData,
                          bool replyHere = false) {
        // lpData is never null when bytes are claimed: cbData 0 with a pointer is
        // one of the cases.
        static std::uint8_t spare[1] = {0};
        COPYDATASTRUCT data{dwData, static_cast<DWORD>(size),
                            nullData ? nullptr : (bytes.empty() ? spare : const_cast<std::uint8_t*>(bytes.data()))};
        // The server answers to wParam; a window of a stalled thread there would
        // block it, so only null or this pumping window is named.
        const WPARAM from = replyHere || random.Between(0, 1) == 1 ? reinterpret_cast<WPARAM>(self) : 0;
        DWORD_PTR result = 0;
        SetLastError(0);
        if (SendMessageTimeoutW(target, WM_COPYDATA, from, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000,
                                &result) == 0) {
            ++(GetLastError() == ERROR_TIMEOUT ? timeouts : failures);
        }
        ++sent;
    };
    for (std::uint32_t i = 0; i < count; ++i) {
        if (i % 40 == 20) {
            ++controls;
            if (notifyTarget) {
                std::vector<ByteVector> records;
                const std::uint32_t events = random.Between(1, 3);
                for (std::uint32_t e = 0; e < events; ++e) {
                    const Contents contents{EventList(kControlPoster, controlEvents++), {}, {}};
                    records.push_back(EncodeRecord(SHCNE_UPDATEITEM, contents));
                }
                const ByteVector batch = EncodeBatch(records);
                send(VTLS_COPYDATA_CHANGES, batch, batch.size(), false);
            } else {
                const DWORD value = 0x7E570000u + controls;
                ByteVector request(4);
                StoreU32(request.data(), value);
                request.insert(request.end(), {0, 0, 0, 0, 0, 0});  // the root, then the trailer
                g_replied = false;
                const std::uint32_t before = timeouts + failures;
                send(VTLS_COPYDATA_CONTENT, request, request.size(), false, true);
                const HGLOBAL expected = EchoAnswer(nullptr, value);
                if (g_replied && before == timeouts + failures && expected != nullptr &&
                    GlobalSize(expected) == g_reply.size() &&
                    std::memcmp(GlobalLock(expected), g_reply.data(), g_reply.size()) == 0) {
                    ++matching;
                }
                if (expected != nullptr) {
                    GlobalUnlock(expected);
                    GlobalFree(expected);
                }
            }
            continue;
        }
        const std::uint32_t kind = random.Between(0, 7);
        ++kinds[kind];
        // Mostly small payloads; now and then a large one.
        const std::size_t randomSize = random.Between(0, 15) == 0 ? random.Between(0, 256 * 1024)
                                                                   : random.Between(0, 600);
        switch (kind) {
            case 0: {  // random dwData and bytes
                const ULONG_PTR dwData = (static_cast<ULONG_PTR>(random.Next()) << 16) ^ random.Next();
                send(dwData, random.Bytes(randomSize), randomSize, false);
                break;
            }
            case 1: send(VTLS_COPYDATA_CHANGES, random.Bytes(randomSize), randomSize, false); break;
            case 2: send(VTLS_COPYDATA_CONTENT, random.Bytes(randomSize), randomSize, false); break;
            case 3: {  // a batch header that agrees with cbData over random records
                const std::size_t size = random.Between(fmt::kBatchHeaderSize, 2048);
                ByteVector batch = random.Bytes(size);
                StoreU32(batch.data() + fmt::kBatchSizeOffset, static_cast<std::uint32_t>(size));
                StoreU32(batch.data() + fmt::kBatchCountOffset,
                         random.Between(0, 8) == 0 ? random.Next() : random.Between(1, 4));
                if (size >= fmt::kBatchHeaderSize + 4) {
                    StoreU32(batch.data() + fmt::kBatchHeaderSize,
                             random.Between(fmt::kRecordHeaderSize, static_cast<std::uint32_t>(size)));
                }
                send(VTLS_COPYDATA_CHANGES, batch, size, false);
                break;
            }
            case 4:
            case 5: {
                std::uint32_t mutation = 0;
                std::size_t size = 0;
                const ByteVector batch = BrokenBatch(random, mutation, size);
                ++mutations[mutation];
                send(VTLS_COPYDATA_CHANGES, batch, size, false);
                break;
            }
            case 6: {
                std::size_t size = 0;
                const ByteVector request = BrokenRequest(random, size);
                send(VTLS_COPYDATA_CONTENT, request, size, false);
                break;
            }
            default: {  // nothing at all, or a pointer with no bytes claimed
                const ULONG_PTR dwData = random.Between(0, 1) == 0 ? VTLS_COPYDATA_CHANGES : VTLS_COPYDATA_CONTENT;
                send(dwData, random.Bytes(16), 0, random.Between(0, 1) == 0);
                break;
            }
        }
    }
    std::printf("sent %lu\n", static_cast<unsigned long>(sent));
    std::printf("timeouts %lu\n", static_cast<unsigned long>(timeouts));
    std::printf("failures %lu\n", static_cast<unsigned long>(failures));
    std::printf("controls %lu\n", static_cast<unsigned long>(controls));
    std::printf("control-events %lu\n", static_cast<unsigned long>(controlEvents));
    std::printf("matching-replies %lu\n", static_cast<unsigned long>(matching));
    std::printf("kinds");
    for (const std::uint32_t n : kinds) std::printf(" %lu", static_cast<unsigned long>(n));
    std::printf("\nmutations");
    for (const std::uint32_t n : mutations) std::printf(" %lu", static_cast<unsigned long>(n));
    std::printf("\ntarget-alive %d\n", IsWindow(target) ? 1 : 0);
    DestroyWindow(self);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    InitializeCriticalSection(&g_eventsLock);
    if (argc >= 5 && std::wcscmp(argv[1], L"server") == 0) {
        const auto answer = ParseAnswer(argv[4]);
        if (!answer) return 2;
        g_answer = *answer;
        return HoldRole(true, argv[2], argv[3]);
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"client") == 0) {
        return HoldRole(false, argv[2], argv[3], argc >= 5 ? _wtoi(argv[4]) : 0);
    }
    const auto number = [](const wchar_t* text) { return static_cast<std::uint32_t>(std::wcstoul(text, nullptr, 10)); };
    if (argc >= 9 && std::wcscmp(argv[1], L"stall") == 0) {
        const vtls::UniqueHandle stalled(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[4]));
        const vtls::UniqueHandle release(OpenEventW(SYNCHRONIZE, FALSE, argv[5]));
        const vtls::UniqueHandle resumed(OpenEventW(EVENT_MODIFY_STATE, FALSE, argv[6]));
        g_stalled = stalled.get();
        g_release = release.get();
        g_resumed = resumed.get();
        g_stallAt = number(argv[7]);
        return stalled && release && resumed && g_stallAt != 0 ? HoldRole(false, argv[2], argv[3], _wtoi(argv[8])) : 1;
    }
    if (argc >= 8 && std::wcscmp(argv[1], L"threads") == 0) {
        return PostFromThreads(argv[2], argv[3], argv[4], number(argv[5]), number(argv[6]), number(argv[7]));
    }
    if (argc >= 6 && std::wcscmp(argv[1], L"storm") == 0) {
        return Storm(argv[2], argv[3], number(argv[4]), number(argv[5]));
    }
    if (argc >= 5 && std::wcscmp(argv[1], L"churn") == 0) {
        return ChurnClientRole(argv[2], argv[3], number(argv[4]));
    }
    if (argc >= 7 && std::wcscmp(argv[1], L"post") == 0) {
        return Post(argv[2], argv[3], number(argv[4]), number(argv[5]), number(argv[6]));
    }
    if (argc >= 6 && std::wcscmp(argv[1], L"hostile") == 0) {
        return Hostile(argv[2], argv[3], number(argv[4]), number(argv[5]));
    }
    std::fprintf(stderr,
                 "usage: vtls_role_probe server <ready-event> <quit-event> "
                 "echo|refuse|fail|null|malformed|sized|slow|slow-refuse|hang|late\n"
                 "       vtls_role_probe client <ready-event> <quit-event> [listeners]\n"
                 "       vtls_role_probe stall <ready-event> <quit-event> <stalled-event> <release-event> "
                 "<resumed-event> <stall-at> <listeners>\n"
                 "       vtls_role_probe threads <ready-event> <go-event> <quit-event> <first-poster-id> <threads> "
                 "<count>\n"
                 "       vtls_role_probe churn <ready-event> <go-event> <cycles>\n"
                 "       vtls_role_probe storm <ready-event> <go-event> <poster-id> <count>\n"
                 "       vtls_role_probe post <ready-event> <go-event> <poster-id> <count> <batch>\n"
                 "       vtls_role_probe hostile <target-class> <target-name> <count> <seed>\n");
    return 2;
}
