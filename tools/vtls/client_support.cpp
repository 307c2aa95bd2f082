#include "client_support.h"

#include <atomic>
#include <cerrno>
#include <cwchar>
#include <cwctype>

#include "VantrelSh.h"
#include "console.h"

namespace vtls::tool {
namespace {

constexpr DWORD kWindowPollMs = 10;

std::atomic<HANDLE> g_stopEvent{nullptr};

BOOL WINAPI OnConsoleControl(DWORD event) noexcept {
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) {
        return FALSE;
    }
    if (const HANDLE stop = g_stopEvent.load()) {
        SetEvent(stop);
    }
    return TRUE;
}

}  // namespace

ClientRole::ClientRole() noexcept : result_(VtlsCliInitialize()) {}

ClientRole::~ClientRole() {
    if (SUCCEEDED(result_)) {
        VtlsTerminate();
    }
}

bool ClientRole::WaitForNotifyWindow(DWORD timeoutMs) const noexcept {
    if (FAILED(result_)) {
        return false;
    }
    const ULONGLONG start = GetTickCount64();
    while (FindOwnWindow(VTLS_FSNOTIFY_CLASS, VTLS_CLIENT_WINDOW_NAME) == nullptr) {
        if (GetTickCount64() - start >= timeoutMs) {
            return false;
        }
        Sleep(kWindowPollMs);
    }
    return true;
}

HWND FindOwnWindow(const wchar_t* className, const wchar_t* windowName) noexcept {
    const DWORD self = GetCurrentProcessId();
    for (HWND window = nullptr;;) {
        window = FindWindowExW(nullptr, window, className, windowName);
        if (window == nullptr) {
            return nullptr;
        }
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == self) {
            return window;
        }
    }
}

StopSignal::StopSignal() noexcept : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
    if (!event_) {
        return;
    }
    g_stopEvent = event_.get();
    installed_ = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
}

StopSignal::~StopSignal() {
    if (installed_) {
        SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    }
    g_stopEvent = nullptr;
}

std::string Now() {
    SYSTEMTIME time{};
    GetLocalTime(&time);
    return Format("%02u:%02u:%02u.%03u", time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
}

bool ParseWhole(const wchar_t* text, unsigned long max, unsigned long& value) noexcept {
    if (text == nullptr || !std::iswdigit(static_cast<wint_t>(text[0]))) {
        return false;
    }
    const bool hex = text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
    // wcstoul would accept a sign or blanks after "0x"; only digits may follow.
    if (hex && !std::iswxdigit(static_cast<wint_t>(text[2]))) {
        return false;
    }
    errno = 0;
    wchar_t* end = nullptr;
    const unsigned long parsed = std::wcstoul(hex ? text + 2 : text, &end, hex ? 16 : 10);
    if (errno == ERANGE || *end != L'\0' || parsed > max) {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace vtls::tool
