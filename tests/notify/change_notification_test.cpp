// Changes posted in one process reach the listener windows of every process.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "support/role_process.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;
using vtls::test::RoleProcess;

std::string Hex(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (const auto byte : bytes) {
        std::snprintf(digits, sizeof(digits), "%02x", byte);
        text += digits;
    }
    return text.empty() ? "-" : text;
}

// A listener window of this process that records what it receives.
class Listener {
public:
    struct Received {
        UINT message;
        LONG event;
        Bytes list1;
        Bytes extra;
        const void* lParam;
        DWORD when;
    };

    Listener() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"vtls_test_listener";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, L"vtls_test_listener", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
        SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Listener() {
        VtlsSHChangeNotifyRevoke(window_);
        DestroyWindow(window_);
    }

    [[nodiscard]] HWND Handle() const { return window_; }
    std::vector<Received> received;

    // Takes messages on this thread until `count` arrived or the time is up.
    bool PumpUntil(std::size_t count, DWORD timeoutMs) {
        const DWORD start = GetTickCount();
        while (received.size() < count) {
            const DWORD elapsed = GetTickCount() - start;
            if (elapsed >= timeoutMs) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, timeoutMs - elapsed, QS_ALLINPUT);
            MSG message;
            while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        }
        return true;
    }

private:
    static Bytes ListOf(const void* list) {
        if (list == nullptr) return {};
        const auto* bytes = static_cast<const std::uint8_t*>(list);
        std::size_t size = 0;
        while (vtls::itemid::LoadU16(bytes + size) != 0) size += vtls::itemid::LoadU16(bytes + size);
        return Bytes(bytes, bytes + size + 2);
    }

    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<Listener*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self != nullptr && message == WM_VTLS_FSNOTIFY) {
            const auto* info = reinterpret_cast<const VTLSCHANGEINFO*>(lParam);
            const auto* extra = static_cast<const std::uint8_t*>(info->extra);
            self->received.push_back({message, info->event, ListOf(info->list1),
                                      extra ? Bytes(extra, extra + info->cbExtra) : Bytes{}, info, GetTickCount()});
            return 0;
        }
        if (self != nullptr && message == WM_VTLS_FSNOTIFY_PRIVATE) {
            const auto* extra = reinterpret_cast<const std::uint8_t*>(lParam);
            const void* list1 = nullptr;
            std::memcpy(&list1, extra + 8, sizeof(list1));
            self->received.push_back({message, 0, ListOf(list1), Bytes(extra, extra + 8), extra, GetTickCount()});
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_;
};

// Ends the role of this process whatever the test's outcome.
struct ClientRole {
    ClientRole() { EXPECT_EQ(VtlsCliInitialize(), S_OK); }
    ~ClientRole() { VtlsTerminate(); }
};

const Bytes kFolder = vtls::test::List({vtls::test::EncodeReal(2, u"PLANT"), vtls::test::EncodeReal(9, u"Sim", 3)});
const Bytes kItem = vtls::test::List({vtls::test::EncodeReal(6, u"Ramps.Int4")});

LPCITEMIDLIST Pidl(const Bytes& bytes) { return reinterpret_cast<LPCITEMIDLIST>(bytes.data()); }

TEST(ChangeNotification, FlushedEventReachesListenersInOtherProcesses) {
    RoleProcess first(L"client 2");
    RoleProcess second(L"client 1");
    ASSERT_TRUE(first.Ready() && second.Ready());
    const Bytes extra{1, 2, 3};
    // This process holds no role: a flush still offers the batch to every process.
    SHChangeNotify2(SHCNE_UPDATEDIR, VTLS_SHCNF_FLUSH, Pidl(kFolder), Pidl(kItem), extra.data(), 3);
    SHChangeNotify2(SHCNE_CREATE, VTLS_SHCNF_FLUSH, Pidl(kItem), nullptr, nullptr, 0);

    const std::string updatedir = std::to_string(SHCNE_UPDATEDIR) + " " + Hex(kFolder) + " " + Hex(kItem) + " 010203";
    const std::string create = std::to_string(SHCNE_CREATE) + " " + Hex(kItem) + " - -";
    first.Finish();
    second.Finish();
    // Each listener got both events, in posting order, with their bytes intact.
    EXPECT_EQ(first.Lines("event "), (std::vector<std::string>{"event 0 " + updatedir, "event 1 " + updatedir,
                                                               "event 0 " + create, "event 1 " + create}));
    EXPECT_EQ(second.Lines("event "), (std::vector<std::string>{"event 0 " + updatedir, "event 0 " + create}));
}

TEST(ChangeNotification, EventWaitsForAFlushAndOwnListenersGetItDirectly) {
    ClientRole role;
    Listener listener;
    ASSERT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), S_OK);
    SHChangeNotify2(SHCNE_DELETE, VTLS_SHCNF_IDLIST, Pidl(kItem), nullptr, nullptr, 0);
    EXPECT_FALSE(listener.PumpUntil(1, 300));  // no flush yet
    SHChangeNotify2(0, VTLS_SHCNF_FLUSH, nullptr, nullptr, nullptr, 0);
    ASSERT_EQ(listener.received.size(), 1u);  // delivered on this thread, within the flush
    EXPECT_EQ(listener.received[0].event, SHCNE_DELETE);
    EXPECT_EQ(listener.received[0].list1, kItem);
}

TEST(ChangeNotification, DeferredFlushCoalescesPostsCloserThanItsDelay) {
    ClientRole role;
    Listener listener;
    ASSERT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), S_OK);
    DWORD lastPost = 0;
    for (int i = 0; i < 3; ++i) {
        SHChangeNotify2(SHCNE_UPDATEITEM, VTLS_SHCNF_FLUSHNOWAIT, Pidl(kItem), nullptr, nullptr, 0);
        lastPost = GetTickCount();
        listener.PumpUntil(1, 100);
    }
    EXPECT_TRUE(listener.received.empty());
    ASSERT_TRUE(listener.PumpUntil(3, 3000));
    EXPECT_EQ(listener.received.size(), 3u);
    // All three came together, about 500 ms after the last post.
    EXPECT_GE(listener.received[0].when - lastPost, 400u);
    EXPECT_LE(listener.received[2].when - listener.received[0].when, 100u);
}

TEST(ChangeNotification, FlushAndNoWaitTogetherFlushAtOnce) {
    ClientRole role;
    Listener listener;
    ASSERT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), S_OK);
    SHChangeNotify2(SHCNE_UPDATEITEM, VTLS_SHCNF_FLUSH | VTLS_SHCNF_FLUSHNOWAIT, Pidl(kItem), nullptr, nullptr, 0);
    EXPECT_EQ(listener.received.size(), 1u);
    EXPECT_FALSE(listener.PumpUntil(2, 800));  // no second, timed flush delivers anything
}

TEST(ChangeNotification, OtherTypesThanItemListsDoNothing) {
    ClientRole role;
    Listener listener;
    ASSERT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), S_OK);
    SHChangeNotify2(SHCNE_CREATE, VTLS_SHCNF_IDLIST, Pidl(kItem), nullptr, nullptr, 0);
    SHChangeNotify2(SHCNE_CREATE, SHCNF_PATHW | VTLS_SHCNF_FLUSH, Pidl(kItem), nullptr, nullptr, 0);
    EXPECT_TRUE(listener.received.empty());  // not even the queued event was flushed
    SHChangeNotify2(0, VTLS_SHCNF_FLUSH | 0x40000000, nullptr, nullptr, nullptr, 0);  // the high bit is ignored
    EXPECT_EQ(listener.received.size(), 1u);
}

TEST(ChangeNotification, PrivateEventsStayInTheProcess) {
    RoleProcess other(L"client 1");
    ASSERT_TRUE(other.Ready());
    {
        ClientRole role;
        Listener listener;
        ASSERT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), S_OK);
        std::uint8_t extra[24] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
        SHChangeNotify2(static_cast<LONG>(VTLS_SHCNE_PRIVATE | SHCNE_UPDATEITEM), VTLS_SHCNF_FLUSH, Pidl(kItem),
                        nullptr, extra, sizeof(extra));
        ASSERT_EQ(listener.received.size(), 1u);
        EXPECT_EQ(listener.received[0].message, static_cast<UINT>(WM_VTLS_FSNOTIFY_PRIVATE));
        EXPECT_EQ(listener.received[0].extra, Bytes(extra, extra + 8));  // the poster's bytes before the slot
        EXPECT_EQ(listener.received[0].list1, kItem);                   // the slot points at list 1
        // Too few extra bytes for the slot: dropped, nothing written anywhere.
        std::uint8_t small[9] = {};
        SHChangeNotify2(static_cast<LONG>(VTLS_SHCNE_PRIVATE | SHCNE_UPDATEITEM), 0, Pidl(kItem), nullptr, small,
                        sizeof(small));
        EXPECT_EQ(listener.received.size(), 1u);
    }
    EXPECT_EQ(other.Finish().at("events"), "0");
}

TEST(Listeners, RegistrationRules) {
    Listener listener;
    const HWND window = listener.Handle();
    EXPECT_EQ(VtlsSHChangeNotifyRegister(nullptr), E_INVALIDARG);
    EXPECT_EQ(VtlsSHChangeNotifyRegister(reinterpret_cast<HWND>(0x1234560)), E_INVALIDARG);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(window), E_INVALIDARG);  // never registered
    EXPECT_EQ(VtlsSHChangeNotifyRegister(window), S_OK);
    EXPECT_EQ(VtlsSHChangeNotifyRegister(window), S_OK);  // once in the set
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(window), S_OK);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(window), E_INVALIDARG);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(nullptr), S_OK);
    // A window of another process could only misread the pointers it would get.
    RoleProcess other(L"client");
    ASSERT_TRUE(other.Ready());
    EXPECT_EQ(VtlsSHChangeNotifyRegister(FindWindowW(VTLS_FSNOTIFY_CLASS, VTLS_CLIENT_WINDOW_NAME)), E_INVALIDARG);
    other.Finish();
}

HRESULT WINAPI Refuse(LPCITEMIDLIST, DWORD, HGLOBAL*) { return S_FALSE; }

TEST(Listeners, ServerRoleHasNone) {
    Listener listener;
    ASSERT_EQ(VtlsSrvInitialize(Refuse), S_OK);
    EXPECT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), E_INVALIDARG);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(listener.Handle()), S_OK);
    VtlsTerminate();
    // The role flag stays until another role is taken.
    EXPECT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), E_INVALIDARG);
    ASSERT_EQ(VtlsCliInitialize(), S_OK);
    EXPECT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), S_OK);
    VtlsTerminate();
}

TEST(Listeners, DestroyedWindowLeavesAtTheNextDelivery) {
    ClientRole role;
    Listener listener;  // also registers the window class
    const HWND gone = CreateWindowExW(0, L"vtls_test_listener", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    ASSERT_EQ(VtlsSHChangeNotifyRegister(gone), S_OK);
    DestroyWindow(gone);  // without revoking
    ASSERT_EQ(VtlsSHChangeNotifyRegister(listener.Handle()), S_OK);
    SHChangeNotify2(SHCNE_CREATE, VTLS_SHCNF_FLUSH, Pidl(kItem), nullptr, nullptr, 0);
    EXPECT_EQ(listener.received.size(), 1u);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(gone), E_INVALIDARG);
}

}  // namespace
