// vtls_probe: loads VantrelSh.dll into a fresh process on request and reports
// what it saw, one "key value..." line each, for the tests in the parent process.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/unique_resource.h"
#include "icons/icon_inspection.h"
#include "support/process_resources.h"

namespace {

using vtls::UniqueModule;

template <typename Function>
Function Export(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

UniqueModule LoadLibraryUnderTest(const wchar_t* name = L"VantrelSh.dll") {
    return UniqueModule(LoadLibraryW(name));
}

// Loads the DLL, optionally after the shell, and reports what loading changed
// and what the library derived from the shell it found.
int LoadReport(bool preloadShell) {
    UniqueModule shell;
    if (preloadShell) {
        shell.reset(LoadLibraryW(L"shell32.dll"));
    }
    const vtls::test::ProcessResources before = vtls::test::MeasureProcess();
    const UniqueModule library = LoadLibraryUnderTest();
    if (!library) {
        std::printf("load-error %lu\n", GetLastError());
        return 1;
    }
    const vtls::test::ProcessResources after = vtls::test::MeasureProcess();
    // Loaded now means loaded during attach: before it, or as one of the DLL's imports.
    std::printf("shell32-at-load %d\n", GetModuleHandleW(L"shell32.dll") != nullptr ? 1 : 0);
    std::printf("threads-added %d\n", static_cast<int>(after.threads - before.threads));
    std::printf("windows-added %d\n", static_cast<int>(after.topLevelWindows - before.topLevelWindows));

    using GetVersionFn = void(WINAPI*)(DWORD*, DWORD*, DWORD*);
    using FlagFn = BOOL(WINAPI*)();
    DWORD platform = 0, major = 0, minor = 0;
    Export<GetVersionFn>(library.get(), "SHGetVersion")(&platform, &major, &minor);
    std::printf("version %lu %lu %lu\n", platform, major, minor);
    std::printf("flags %d %d %d\n", Export<FlagFn>(library.get(), "SHIsNT")(),
                Export<FlagFn>(library.get(), "SHIsIntegratedIE")(),
                Export<FlagFn>(library.get(), "SHIsWin2000")());
    return 0;
}

int ClipboardIds() {
    // Whether the data-transfer stream format exists before and after the load:
    // the library registers it although no export hands it out.
    const wchar_t* const streamFormat = L"OPCSTMFORMATDATATIME";
    std::printf("stream-format-before %d\n", GlobalFindAtomW(streamFormat) != 0 ? 1 : 0);
    const UniqueModule library = LoadLibraryUnderTest();
    if (!library) {
        return 1;
    }
    std::printf("stream-format-after %d\n", GlobalFindAtomW(streamFormat) != 0 ? 1 : 0);
    using GetFormatFn = UINT(WINAPI*)(void*);  // FORMATETC*, unused here
    for (const char* name : {"VtlsGetItemIDFormat", "VtlsGetItemIDListFormat", "VtlsGetDataSourceFormat",
                             "VtlsGetDataSourceListFormat", "VtlsGetServerFormat", "VtlsGetTextFormat"}) {
        std::printf("%s %u\n", name, Export<GetFormatFn>(library.get(), name)(nullptr));
    }
    return 0;
}

// Loads and unloads the library many times; what stays behind is a leak.
int LoadUnloadCycles(int cycles, const wchar_t* name) {
    // The shell stays loaded, as in every process that uses the library, so each
    // cycle maps and unmaps the DLL itself rather than the shell's whole tree.
    const UniqueModule shell(LoadLibraryW(L"shell32.dll"));
    LoadLibraryUnderTest(name);  // the first load settles the loader's own caches
    const vtls::test::ProcessResources before = vtls::test::MeasureProcess();
    for (int i = 0; i < cycles; ++i) {
        const UniqueModule library = LoadLibraryUnderTest(name);
        if (!library) {
            return 1;
        }
    }
    const vtls::test::ProcessResources after = vtls::test::MeasureProcess();
    std::printf("handles-added %lld\n", static_cast<long long>(after.handles) - static_cast<long long>(before.handles));
    std::printf("pagefile-added %lld\n",
                static_cast<long long>(after.pagefileBytes) - static_cast<long long>(before.pagefileBytes));
    std::printf("handles-counted %d\n", before.handles > 0 ? 1 : 0);
    return 0;
}

// The shell icon settings as this fresh process's copy of the library read them.
int IconMetrics() {
    const UniqueModule library = LoadLibraryUnderTest();
    const auto useHighColor = Export<BOOL(WINAPI*)()>(library.get(), "SHUseHighColorIcons");
    const auto metrics = Export<int(WINAPI*)(int)>(library.get(), "SHGetSystemMetrics");
    if (useHighColor == nullptr || metrics == nullptr) {
        return 1;
    }
    std::printf("high-color %d\n", useHighColor());
    std::printf("cx-icon %d\n", metrics(SM_CXICON));
    return 0;
}

// Icons of a module's icon group as this fresh process's copy of the library
// makes them: size, and which image of the icon fixture they came from.
int ExtractIcon(const wchar_t* path, int index) {
    const UniqueModule library = LoadLibraryUnderTest();
    using ExtractFn = HRESULT(WINAPI*)(LPCWSTR, INT, HICON*, HICON*);
    const auto extract = Export<ExtractFn>(library.get(), "SHExtractIcon");
    if (extract == nullptr) {
        return 1;
    }
    HICON icons[2] = {};
    std::printf("result 0x%08lX\n", static_cast<unsigned long>(extract(path, index, &icons[0], &icons[1])));
    const char* const names[2] = {"large", "small"};
    for (int i = 0; i < 2; ++i) {
        if (icons[i] == nullptr) {
            continue;
        }
        const vtls::test::IconShape shape = vtls::test::ShapeOf(icons[i]);
        const vtls::test::FixtureImage image = vtls::test::IdentifyImage(icons[i]);
        std::printf("%s %d %d group %d image %d depth %d\n", names[i], shape.width, shape.height, image.group,
                    image.size, image.depth);
        DestroyIcon(icons[i]);
    }
    return 0;
}

// ---- Misbehaving peers: processes that do not use the library --------------------

HWND WindowArgument(const wchar_t* text) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::wcstoull(text, nullptr, 0)));
}

// Sends the client's notify window, for durationMs, content replies that claim to
// come from the server's channel window and name a folder nobody asked for.
int Forge(HWND client, HWND server, DWORD durationMs) {
    // One child under the parent "FORG": a 6-byte item each, CIDA offsets packed.
    const std::uint8_t cida[] = {1, 0, 0, 0,  12, 0, 0, 0,  20, 0, 0, 0,  6, 0, 'F', 'O', 'R', 'G', 0, 0,
                                 6, 0, 'E', 'D', '!', '!', 0, 0};
    COPYDATASTRUCT data{0x1400, sizeof(cida), const_cast<std::uint8_t*>(cida)};
    unsigned long forged = 0;
    unsigned long taken = 0;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < durationMs) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutW(client, WM_COPYDATA, reinterpret_cast<WPARAM>(server),
                                reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 1000, &result) != 0) {
            ++taken;
        }
        ++forged;
        Sleep(5);
    }
    std::printf("forged %lu\n", forged);
    std::printf("taken %lu\n", taken);
    return 0;
}

DWORD WINAPI StoppedWindowThread(void* parameter) {
    auto** events = static_cast<HANDLE*>(parameter);
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"vtls_probe_stopped";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, L"vtls_probe_stopped", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                        GetModuleHandleW(nullptr), nullptr);
    *reinterpret_cast<HWND*>(events[2]) = window;
    SetEvent(events[0]);
    // From here on this thread takes no message.
    WaitForSingleObject(events[1], 120000);
    DestroyWindow(window);
    return 0;
}

// Asks the server `count` times for the root's content, naming as the reply
// window one whose thread has stopped taking messages.
int HungRequester(std::uint32_t count, const wchar_t* started) {
    const vtls::UniqueHandle startedEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, started));
    const vtls::UniqueHandle created(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const vtls::UniqueHandle release(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    HWND window = nullptr;
    HANDLE events[3] = {created.get(), release.get(), reinterpret_cast<HANDLE>(&window)};
    const vtls::UniqueHandle thread(CreateThread(nullptr, 0, StoppedWindowThread, events, 0, nullptr));
    const HWND server = FindWindowW(L"Vantrel_SrvChannelWndClass", L"SrvWndName");
    if (!startedEvent || !thread || server == nullptr || WaitForSingleObject(created.get(), 10000) != WAIT_OBJECT_0) {
        return 1;
    }
    SetEvent(startedEvent.get());
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t request[10] = {};
        request[0] = static_cast<std::uint8_t>(i);
        COPYDATASTRUCT data{0x1400, sizeof(request), request};
        DWORD_PTR result = 0;
        const DWORD start = GetTickCount();
        const LRESULT sent = SendMessageTimeoutW(server, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                                                 reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 30000, &result);
        std::printf("request %lu sent %d result 0x%08lX ms %lu\n", static_cast<unsigned long>(i), sent != 0 ? 1 : 0,
                    static_cast<unsigned long>(result), GetTickCount() - start);
    }
    SetEvent(release.get());
    WaitForSingleObject(thread.get(), 10000);
    return 0;
}

// A window of the server channel's class and name that does not use the
// library, answering each request by its value: 0 the root's content, as the
// library would; 1 a reply about another folder; 2 a CIDA whose offsets point
// outside it; 3 no reply at all; 4 the root's content, then a refusal. It
// always reports success but for 4.
LRESULT CALLBACK FakeServerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) {
        return DefWindowProcW(window, message, wParam, lParam);
    }
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    if (data == nullptr || data->dwData != 0x1400 || data->cbData < 4) {
        return 0;
    }
    std::uint32_t value = 0;
    std::memcpy(&value, data->lpData, 4);
    static const std::uint8_t root[] = {0, 0, 0, 0, 8, 0, 0, 0, 0, 0};
    static const std::uint8_t otherFolder[] = {0, 0, 0, 0, 8, 0, 0, 0, 6, 0, 'F', 'O', 'R', 'G', 0, 0};
    static const std::uint8_t outside[] = {1, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0};
    const std::uint8_t* reply = value == 1 ? otherFolder : value == 2 ? outside : root;
    const DWORD size = value == 1 ? sizeof(otherFolder) : value == 2 ? sizeof(outside) : sizeof(root);
    if (value != 3) {
        COPYDATASTRUCT answer{0x1400, size, const_cast<std::uint8_t*>(reply)};
        DWORD_PTR result = 0;
        SendMessageTimeoutW(reinterpret_cast<HWND>(wParam), WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                            reinterpret_cast<LPARAM>(&answer), SMTO_NORMAL, 5000, &result);
    }
    std::printf("answered %lu\n", static_cast<unsigned long>(value));
    std::fflush(stdout);
    return value == 4 ? S_FALSE : S_OK;
}

int FakeServer(const wchar_t* ready, const wchar_t* quit) {
    const vtls::UniqueHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
    const vtls::UniqueHandle quitEvent(OpenEventW(SYNCHRONIZE, FALSE, quit));
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = FakeServerProcedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"Vantrel_SrvChannelWndClass";
    RegisterClassW(&windowClass);
    const HWND window = CreateWindowExW(0, L"Vantrel_SrvChannelWndClass", L"SrvWndName", WS_POPUP, 0, 0, 0, 0,
                                        nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!readyEvent || !quitEvent || window == nullptr) return 1;
    SetEvent(readyEvent.get());
    const HANDLE quitHandle = quitEvent.get();
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &quitHandle, FALSE, 60000, QS_ALLINPUT);
        if (woken != WAIT_OBJECT_0 + 1) break;
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    DestroyWindow(window);
    return 0;
}

// ---- Freeing the library while it holds a role ------------------------------------

LONG g_accessViolations = 0;

LONG CALLBACK CountAccessViolations(EXCEPTION_POINTERS* exception) {
    if (exception->ExceptionRecord->ExceptionCode == EXCEPTION_ACCESS_VIOLATION) {
        InterlockedIncrement(&g_accessViolations);
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// The root with no children, built without the library (it may be gone).
HRESULT WINAPI EmptyRootContent(const void* /*parent*/, DWORD /*value*/, HGLOBAL* content) {
    *content = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 10);
    if (*content == nullptr) return E_OUTOFMEMORY;
    static_cast<std::uint8_t*>(*content)[4] = 8;  // the parent's offset; the empty list follows
    return S_OK;
}

HRESULT TakeRole(HMODULE library, bool server) {
    using ServerInit = HRESULT(WINAPI*)(HRESULT(WINAPI*)(const void*, DWORD, HGLOBAL*));
    using ClientInit = HRESULT(WINAPI*)();
    if (server) {
        const auto init = Export<ServerInit>(library, "VtlsSrvInitialize");
        return init != nullptr ? init(EmptyRootContent) : E_POINTER;
    }
    const auto init = Export<ClientInit>(library, "VtlsCliInitialize");
    return init != nullptr ? init() : E_POINTER;
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

// Takes a role, frees the library without leaving it, lets the test talk to its
// windows, then loads the library again twice: once while the first copy is
// still held by its threads, once after the role was left and the copy unloaded.
int UnloadWithRole(bool server, const wchar_t* ready, const wchar_t* go) {
    const vtls::UniqueHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
    const vtls::UniqueHandle goEvent(OpenEventW(SYNCHRONIZE, FALSE, go));
    if (!readyEvent || !goEvent) return 1;
    AddVectoredExceptionHandler(1, CountAccessViolations);
    HMODULE library = LoadLibraryW(L"VantrelSh.dll");
    std::printf("first-role 0x%08lX\n", static_cast<unsigned long>(TakeRole(library, server)));
    FreeLibrary(library);
    std::printf("held-by-its-threads %d\n", GetModuleHandleW(L"VantrelSh.dll") != nullptr ? 1 : 0);
    std::printf("windows-after-free %d\n", OwnWindowOf(L"Vantrel_FsNotifyWndClass") ? 1 : 0);
    std::fflush(stdout);
    SetEvent(readyEvent.get());
    if (WaitForSingleObject(goEvent.get(), 60000) != WAIT_OBJECT_0) return 3;

    using Terminate = void(WINAPI*)();
    library = LoadLibraryW(L"VantrelSh.dll");
    std::printf("second-role 0x%08lX\n", static_cast<unsigned long>(TakeRole(library, server)));
    Export<Terminate>(library, "VtlsTerminate")();
    FreeLibrary(library);
    std::printf("unloaded-after-terminate %d\n", GetModuleHandleW(L"VantrelSh.dll") == nullptr ? 1 : 0);

    library = LoadLibraryW(L"VantrelSh.dll");
    std::printf("fresh-role 0x%08lX\n", static_cast<unsigned long>(TakeRole(library, server)));
    std::printf("fresh-windows %d\n", OwnWindowOf(L"Vantrel_FsNotifyWndClass") ? 1 : 0);
    Export<Terminate>(library, "VtlsTerminate")();
    FreeLibrary(library);
    std::printf("unloaded-at-end %d\n", GetModuleHandleW(L"VantrelSh.dll") == nullptr ? 1 : 0);
    std::printf("access-violations %ld\n", g_accessViolations);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {

    if (argc >= 2 && std::wcscmp(argv[1], L"load-report") == 0) {
        return LoadReport(argc >= 3 && std::wcscmp(argv[2], L"--preload-shell") == 0);
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"clipboard-ids") == 0) {
        return ClipboardIds();
    }
    if (argc >= 3 && std::wcscmp(argv[1], L"load-unload") == 0) {
        return LoadUnloadCycles(_wtoi(argv[2]), argc >= 4 ? argv[3] : L"VantrelSh.dll");
    }
    if (argc >= 2 && std::wcscmp(argv[1], L"icon-metrics") == 0) {
        return IconMetrics();
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"extract-icon") == 0) {
        return ExtractIcon(argv[2], _wtoi(argv[3]));
    }
    if (argc >= 5 && std::wcscmp(argv[1], L"forge") == 0) {
        return Forge(WindowArgument(argv[2]), WindowArgument(argv[3]), static_cast<DWORD>(_wtoi(argv[4])));
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"hung-requester") == 0) {
        return HungRequester(static_cast<std::uint32_t>(_wtoi(argv[2])), argv[3]);
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"fake-server") == 0) {
        return FakeServer(argv[2], argv[3]);
    }
    if (argc >= 5 && std::wcscmp(argv[1], L"unload-role") == 0) {
        return UnloadWithRole(std::wcscmp(argv[2], L"server") == 0, argv[3], argv[4]);
    }
    std::fprintf(stderr,
                 "usage: vtls_probe load-report [--preload-shell] | clipboard-ids | load-unload N [dll] | "
                 "icon-metrics | extract-icon <module> <index> | forge <client-window> <server-window> <ms> | "
                 "hung-requester <count> <started-event> | fake-server <ready-event> <quit-event> | "
                 "unload-role client|server <ready-event> <go-event>\n");
    return 2;
}
