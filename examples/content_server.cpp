// The server role: answers the content requests of other processes.
//
//   content_server [--seconds N] [--stop-event NAME] [host ...]
//
// Takes the server role with a content callback, prints a line ending in
// "ready", and serves until Ctrl+C, N seconds (default 60) or, for scripts
// (not every console delivers Ctrl+C), until the named event is set. The root folder
// holds the hosts named on the command line (three sample names without any);
// a request for any other folder is refused. Ask with content_client.
#include <windows.h>

#include <VantrelSh.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Item identifier lists that the library makes are freed with VtlsSHFree.
struct ItemListFree {
    void operator()(ITEMIDLIST* list) const noexcept { VtlsSHFree(list); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

struct HandleClose {
    void operator()(HANDLE handle) const noexcept { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleClose>;

// The role, left however the program leaves its scope.
struct ServerRole {
    explicit ServerRole(VTLSCONTENTPROC content) : result(VtlsSrvInitialize(content)) {}
    ~ServerRole() { VtlsTerminate(); }
    ServerRole(const ServerRole&) = delete;
    ServerRole& operator=(const ServerRole&) = delete;
    const HRESULT result;
};

// Item types and GUIDs mean what the application says; the library stores them.
constexpr INT kHostType = 2;
constexpr GUID kHostClass = {0x6B1E4A53, 0x2F0C, 0x4D7E, {0x9A, 0x41, 0x5C, 0x0D, 0x37, 0x88, 0x12, 0xE4}};

// The callback takes no context: what it serves is set before the role is taken.
std::vector<std::wstring> g_hosts;
std::atomic<unsigned> g_answered{0};
Handle g_stop;

// Runs on the library's channel thread, in the multithreaded apartment, while
// the asking client waits. S_OK with a CIDA in *content answers, and the
// library frees the block; any other result refuses, and the client's
// VtlsGetContentInSync fails with E_FAIL.
HRESULT WINAPI AnswerContent(LPCITEMIDLIST parent, DWORD value, HGLOBAL* content) {
    if (parent != nullptr) {
        std::printf("request (value %lu) for a folder below the root: refused\n", value);
        return S_FALSE;
    }
    std::vector<ItemList> items;
    std::vector<LPCITEMIDLIST> children;
    for (const std::wstring& host : g_hosts) {
        items.emplace_back(VtlsCreateID(host.c_str(), kHostType, 0, &kHostClass, 0, nullptr));
        if (!items.back()) {
            return E_OUTOFMEMORY;
        }
        children.push_back(items.back().get());
    }
    // The root has no list of its own, so the CIDA carries no parent.
    const HGLOBAL cida = SHCreateCIDA(nullptr, static_cast<UINT>(children.size()), children.data());
    if (cida == nullptr) {
        return E_OUTOFMEMORY;
    }
    *content = cida;
    ++g_answered;
    std::printf("request (value %lu) for the root: answered %u hosts\n", value,
                static_cast<unsigned>(children.size()));
    return S_OK;
}

BOOL WINAPI OnCtrlC(DWORD) {
    SetEvent(g_stop.get());
    return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);  // lines appear at once, also in a log file
    DWORD seconds = 60;
    const char* stopEvent = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            seconds = std::strtoul(argv[++i], nullptr, 10);
        } else if (std::strcmp(argv[i], "--stop-event") == 0 && i + 1 < argc) {
            stopEvent = argv[++i];
        } else {
            g_hosts.emplace_back(argv[i], argv[i] + std::strlen(argv[i]));  // ASCII names
        }
    }
    if (g_hosts.empty()) {
        g_hosts = {L"PLANT-SCADA01", L"LAB-PC17", L"OFFICE-SRV2"};
    }
    g_stop.reset(CreateEventA(nullptr, TRUE, FALSE, stopEvent));
    if (!g_stop || !SetConsoleCtrlHandler(OnCtrlC, TRUE)) {
        std::fprintf(stderr, "content_server: cannot set up the stop event or Ctrl+C (error %lu)\n", GetLastError());
        return 1;
    }
    {
        const ServerRole role(AnswerContent);
        if (FAILED(role.result)) {
            std::fprintf(stderr, "content_server: VtlsSrvInitialize failed: 0x%08lX\n", role.result);
            return 1;
        }
        // The role's windows exist once VtlsSrvInitialize has returned.
        std::printf("content_server: serving %u hosts for %lu s; ready\n", static_cast<unsigned>(g_hosts.size()),
                    seconds);
        WaitForSingleObject(g_stop.get(), seconds * 1000);
    }
    std::printf("content_server: stopped; answered %u request(s)\n", g_answered.load());
    return 0;
}
