// A change listener window, and a posted change.
//
//   change_listener            listen, post a change, print what arrives
//   change_listener listen     listen until a change arrives (at most 30 s)
//   change_listener post NAME  post a change of the folder NAME to every process
//
// A listener is a window of a client-role process, registered with
// VtlsSHChangeNotifyRegister; changes are sent to it as WM_VTLS_FSNOTIFY.
#include <windows.h>

#include <VantrelSh.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct ItemListFree {
    void operator()(ITEMIDLIST* list) const noexcept { VtlsSHFree(list); }
};
using ItemList = std::unique_ptr<ITEMIDLIST, ItemListFree>;

int g_received = 0;
// The name of a list's first item, a real item of the library (UTF-16 from byte 38).
std::string ItemName(LPCITEMIDLIST list) {
    if (list == nullptr || list->mkid.cb < 42) return "-";
    std::string name;
    const auto* item = reinterpret_cast<const BYTE*>(list);
    for (std::size_t at = 38; at + 2 <= list->mkid.cb && (item[at] != 0 || item[at + 1] != 0); at += 2) {
        name += item[at + 1] == 0 && item[at] < 128 ? static_cast<char>(item[at]) : '?';
    }
    return name;
}

LRESULT CALLBACK ListenerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_VTLS_FSNOTIFY) {
        // Valid only during this call: copy what you keep.
        const auto* change = reinterpret_cast<const VTLSCHANGEINFO*>(lParam);
        std::printf("received WM_VTLS_FSNOTIFY: event 0x%08lX, list 1 %s, %u extra bytes\n",
                    static_cast<unsigned long>(change->event), ItemName(change->list1).c_str(), change->cbExtra);
        ++g_received;
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// The client role (listeners are refused in the server role) and a hidden
// top-level window of this thread, registered as a listener while this lives.
class Listener {
public:
    Listener() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ListenerProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ChangeListenerExample";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, windowClass.lpszClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
        ready_ = SUCCEEDED(VtlsCliInitialize()) && window_ != nullptr && VtlsSHChangeNotifyRegister(window_) == S_OK;
    }
    ~Listener() {
        VtlsSHChangeNotifyRevoke(window_);  // S_OK for NULL; E_INVALIDARG if never registered
        if (window_ != nullptr) DestroyWindow(window_);
        VtlsTerminate();
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;
    bool Ready() const { return ready_; }

private:
    HWND window_ = nullptr;
    bool ready_ = false;
};

// Takes this thread's messages, where deliveries run, until one arrived.
bool WaitForChange(DWORD timeoutMs) {
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    for (ULONGLONG now = GetTickCount64(); g_received == 0 && now < end; now = GetTickCount64()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    return g_received != 0;
}

// SHCNE_UPDATEDIR for a one-item list naming the folder.
void Post(const wchar_t* folder, UINT flush) {
    static const GUID kFolderClass = {0x2C5A7F10, 0x5E3B, 0x4A21, {0x8D, 0x6E, 0x11, 0x90, 0x4B, 0x72, 0xA3, 0x05}};
    const ItemList list(VtlsCreateID(folder, 2, 0, &kFolderClass, 0, nullptr));
    SHChangeNotify2(SHCNE_UPDATEDIR, VTLS_SHCNF_IDLIST | flush, list.get(), nullptr, nullptr, 0);
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "post" && argc > 2) {
        // No role needed: an immediate flush goes out on this thread, to the
        // notify windows of all other processes.
        Post(std::wstring(argv[2], argv[2] + std::strlen(argv[2])).c_str(), VTLS_SHCNF_FLUSH);  // ASCII names
        std::printf("posted SHCNE_UPDATEDIR for %s\n", argv[2]);
        return 0;
    }
    if (!mode.empty() && mode != "listen") {
        std::fprintf(stderr, "usage: change_listener [listen | post NAME]\n");
        return 2;
    }
    const Listener listener;
    if (!listener.Ready()) return 1;
    std::printf("listening; ready\n");
    if (mode.empty()) {
        // Deferred: the flush follows 500 ms after the last such post, from the
        // notify window's timer, and reaches this process's listeners too.
        Post(L"Folder-1", VTLS_SHCNF_FLUSHNOWAIT);
        std::printf("posted SHCNE_UPDATEDIR for Folder-1, flush in 500 ms\n");
    }
    if (WaitForChange(30000)) return 0;
    std::fprintf(stderr, "no change arrived within 30 s\n");
    return 1;
}
