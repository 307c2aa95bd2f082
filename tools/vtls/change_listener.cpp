#include "change_listener.h"

#include <cstdint>
#include <cstring>
#include <utility>

#include "VantrelSh.h"
#include "change_events.h"
#include "console.h"
#include "sample_namespace.h"

namespace vtls::tool {
namespace {

constexpr wchar_t kClassName[] = L"VtlsChangeListener";
// A private event's extra bytes hold its list 1's address from byte 8 on.
constexpr std::size_t kPrivateListOffset = 8;

std::string ListText(LPCITEMIDLIST list) {
    if (list == nullptr) {
        return "-";
    }
    const std::wstring names = PathNames(list);
    return names.empty() ? "(empty list)" : ToUtf8(names);
}

std::string DescribeChange(const VTLSCHANGEINFO& info) {
    return Format("WM_VTLS_FSNOTIFY  event 0x%08lX %s  list1 %s  list2 %s  extra %u bytes",
                  static_cast<unsigned long>(info.event), EventName(info.event).c_str(), ListText(info.list1).c_str(),
                  ListText(info.list2).c_str(), info.extra != nullptr ? info.cbExtra : 0u);
}

// The message does not carry the extra bytes' size; a poster must give at
// least the first two words and the address, so only those are read.
std::string DescribePrivate(const std::uint8_t* extra) {
    if (extra == nullptr) {
        return "WM_VTLS_FSNOTIFY_PRIVATE  (no extra bytes)";
    }
    std::uint32_t words[2];
    std::memcpy(words, extra, sizeof(words));
    LPCITEMIDLIST list1 = nullptr;
    std::memcpy(&list1, extra + kPrivateListOffset, sizeof(list1));
    return Format("WM_VTLS_FSNOTIFY_PRIVATE  list1 %s  extra words 0x%08X 0x%08X", ListText(list1).c_str(),
                  static_cast<unsigned>(words[0]), static_cast<unsigned>(words[1]));
}

// Registered once per process, on first use; the class stays until exit.
bool EnsureWindowClass(HINSTANCE instance, WNDPROC procedure) noexcept {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    if (GetClassInfoExW(instance, kClassName, &windowClass)) {
        return true;
    }
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = kClassName;
    return RegisterClassExW(&windowClass) != 0;
}

}  // namespace

std::unique_ptr<ChangeListener> ChangeListener::Create(Sink sink, std::string& error) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    if (!EnsureWindowClass(instance, WindowProc)) {
        error = Format("cannot register the listener window class (error %lu)", GetLastError());
        return nullptr;
    }
    std::unique_ptr<ChangeListener> listener(new ChangeListener(std::move(sink)));
    // Top-level and never shown: a window the library's delivery can find with
    // IsWindow, on this thread, so its messages arrive while this thread waits
    // for messages.
    listener->window_.reset(CreateWindowExW(0, kClassName, L"vtls listener", WS_OVERLAPPED, 0, 0, 0, 0, nullptr,
                                            nullptr, instance, listener.get()));
    if (!listener->window_) {
        error = Format("cannot create the listener window (error %lu)", GetLastError());
        return nullptr;
    }
    const HRESULT registered = VtlsSHChangeNotifyRegister(listener->window_.get());
    if (FAILED(registered)) {
        error = Format("VtlsSHChangeNotifyRegister failed: 0x%08lX", static_cast<unsigned long>(registered));
        return nullptr;
    }
    listener->registered_ = true;
    return listener;
}

ChangeListener::~ChangeListener() {
    if (registered_) {
        VtlsSHChangeNotifyRevoke(window_.get());
    }
    // Messages that still arrive while the window goes find no listener.
    if (window_) {
        SetWindowLongPtrW(window_.get(), GWLP_USERDATA, 0);
    }
}

LRESULT CALLBACK ChangeListener::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) noexcept {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    } else if (message == WM_VTLS_FSNOTIFY || message == WM_VTLS_FSNOTIFY_PRIVATE) {
        if (auto* listener = reinterpret_cast<ChangeListener*>(GetWindowLongPtrW(window, GWLP_USERDATA))) {
            listener->Handle(message, lParam);
        }
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

void ChangeListener::Handle(UINT message, LPARAM lParam) noexcept {
    ++received_;
    // The message comes from the library's delivery; nothing may unwind into it.
    try {
        if (message == WM_VTLS_FSNOTIFY) {
            const auto* info = reinterpret_cast<const VTLSCHANGEINFO*>(lParam);
            sink_(info != nullptr ? DescribeChange(*info) : std::string("WM_VTLS_FSNOTIFY  (no change info)"));
        } else {
            sink_(DescribePrivate(reinterpret_cast<const std::uint8_t*>(lParam)));
        }
    } catch (...) {
    }
}

}  // namespace vtls::tool
