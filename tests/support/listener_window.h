// A window that takes the library's change deliveries and keeps each one: the
// tests' own listeners and the probe's listeners in other processes are this.
#pragma once

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "itemid/list_bytes.h"
#include "support/hidden_window.h"

namespace vtls::test {

inline std::string Hex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (const auto byte : bytes) {
        std::snprintf(digits, sizeof(digits), "%02x", byte);
        text += digits;
    }
    return text.empty() ? "-" : text;
}

struct Change {
    UINT message;  // WM_VTLS_FSNOTIFY or WM_VTLS_FSNOTIFY_PRIVATE
    LONG event;
    Bytes list1, list2, extra;  // of a private change: the 8 bytes before the list slot
    DWORD when;
    // "<event> <list1> <list2> <extra>", hex, "-" for none.
    [[nodiscard]] std::string Line() const {
        return std::to_string(event) + " " + Hex(list1) + " " + Hex(list2) + " " + Hex(extra);
    }
};

class ListenerWindow {
public:
    ListenerWindow() : window_(HiddenWindow(L"vtls_test_listener", L"", Procedure)) {
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~ListenerWindow() { DestroyWindow(window_); }
    ListenerWindow(const ListenerWindow&) = delete;
    ListenerWindow& operator=(const ListenerWindow&) = delete;

    [[nodiscard]] HWND Handle() const { return window_; }

    // Takes messages on this thread until `count` changes arrived or the time is up.
    bool PumpUntil(std::size_t count, DWORD timeoutMs) {
        for (const DWORD start = GetTickCount(); changes.size() < count;) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        return true;
    }

    std::vector<Change> changes;
    // Runs inside each delivery before the change is kept (a listener that stops there).
    std::function<void()> onDelivery;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ListenerWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self == nullptr || (message != WM_VTLS_FSNOTIFY && message != WM_VTLS_FSNOTIFY_PRIVATE)) {
            return DefWindowProcW(window, message, wParam, lParam);
        }
        if (self->onDelivery) self->onDelivery();
        if (message == WM_VTLS_FSNOTIFY) {
            const auto* info = reinterpret_cast<const VTLSCHANGEINFO*>(lParam);
            const auto* extra = static_cast<const std::uint8_t*>(info->extra);
            self->changes.push_back({message, info->event, ListBytes(info->list1), ListBytes(info->list2),
                                     extra ? Bytes(extra, extra + info->cbExtra) : Bytes{}, GetTickCount()});
        } else {
            // The poster's extra bytes, with list 1's address in the slot after the first eight.
            const auto* extra = reinterpret_cast<const std::uint8_t*>(lParam);
            const void* list1 = nullptr;
            std::memcpy(&list1, extra + 8, sizeof(list1));
            self->changes.push_back({message, 0, ListBytes(list1), {}, Bytes(extra, extra + 8), GetTickCount()});
        }
        return 0;
    }

    HWND window_;
};

// The probe's list for event (poster, sequence): two 6-byte items holding them.
inline Bytes EventList(std::uint32_t poster, std::uint32_t sequence) {
    Bytes list(14, 0);
    list[0] = list[6] = 6;
    std::memcpy(list.data() + 2, &poster, 4);
    std::memcpy(list.data() + 8, &sequence, 4);
    return list;
}

// Its extra bytes: 0 to 3 of them, so records differ in size.
inline Bytes EventExtra(std::uint32_t poster, std::uint32_t sequence) {
    Bytes extra(sequence % 4);
    for (std::size_t i = 0; i < extra.size(); ++i) extra[i] = static_cast<std::uint8_t>(sequence * 7 + i + poster * 31);
    return extra;
}

inline LONG PosterEvent(std::uint32_t poster) { return poster % 2 == 0 ? SHCNE_UPDATEITEM : SHCNE_ATTRIBUTES; }

}  // namespace vtls::test
