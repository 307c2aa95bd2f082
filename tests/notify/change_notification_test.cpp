// Changes posted through the exports reach this process's listener windows (the
// cross-process deliveries are the peer-fault tests'), and the notify window's
// icon refresh.
#include <gtest/gtest.h>

#include <shellapi.h>

#include <string>
#include <vector>

#include "VantrelSh.h"
#include "list_bytes.h"
#include "support/listener_window.h"
#include "support/probe.h"

namespace {

using vtls::test::Bytes;
using vtls::test::Hex;
using vtls::test::Probe;

// This process's client role and one registered listener, for the test's length.
struct ClientListener {
    ClientListener() {
        EXPECT_EQ(VtlsCliInitialize(), S_OK);
        EXPECT_EQ(VtlsSHChangeNotifyRegister(window.Handle()), S_OK);
    }
    ~ClientListener() {
        VtlsSHChangeNotifyRevoke(window.Handle());
        VtlsTerminate();
    }
    vtls::test::ListenerWindow window;
    std::vector<vtls::test::Change>& changes = window.changes;
};

const Bytes kFolder = vtls::test::List({vtls::test::EncodeReal(2, u"PLANT"), vtls::test::EncodeReal(9, u"Sim", 3)});
const Bytes kItem = vtls::test::List({vtls::test::EncodeReal(6, u"Ramps.Int4")});

LPCITEMIDLIST Pidl(const Bytes& bytes) { return reinterpret_cast<LPCITEMIDLIST>(bytes.data()); }

TEST(ChangeNotification, FlushFlags) {
    ClientListener role;
    // Queued until a flush, then delivered to this process's listener within it.
    const Bytes extra{1, 2, 3};
    SHChangeNotify2(SHCNE_UPDATEDIR, VTLS_SHCNF_IDLIST, Pidl(kFolder), Pidl(kItem), extra.data(), 3);
    EXPECT_FALSE(role.window.PumpUntil(1, 300));
    SHChangeNotify2(0, VTLS_SHCNF_FLUSH, nullptr, nullptr, nullptr, 0);
    ASSERT_EQ(role.changes.size(), 1u);
    EXPECT_EQ(role.changes[0].Line(),
              std::to_string(SHCNE_UPDATEDIR) + " " + Hex(kFolder) + " " + Hex(kItem) + " 010203");
    // Flush and no-wait together flush at once, and no timed flush follows.
    SHChangeNotify2(SHCNE_UPDATEITEM, VTLS_SHCNF_FLUSH | VTLS_SHCNF_FLUSHNOWAIT, Pidl(kItem), nullptr, nullptr, 0);
    EXPECT_EQ(role.changes.size(), 2u);
    EXPECT_FALSE(role.window.PumpUntil(3, 800));
    // Other types than item lists do nothing, not even flush; the high bit is ignored.
    SHChangeNotify2(SHCNE_CREATE, VTLS_SHCNF_IDLIST, Pidl(kItem), nullptr, nullptr, 0);
    SHChangeNotify2(SHCNE_CREATE, SHCNF_PATHW | VTLS_SHCNF_FLUSH, Pidl(kItem), nullptr, nullptr, 0);
    EXPECT_EQ(role.changes.size(), 2u);
    SHChangeNotify2(0, VTLS_SHCNF_FLUSH | 0x40000000, nullptr, nullptr, nullptr, 0);
    EXPECT_EQ(role.changes.size(), 3u);
}

TEST(ChangeNotification, DeferredFlushCoalescesPostsCloserThanItsDelay) {
    ClientListener role;
    for (int i = 0; i < 3; ++i) {
        SHChangeNotify2(SHCNE_UPDATEITEM, VTLS_SHCNF_FLUSHNOWAIT, Pidl(kItem), nullptr, nullptr, 0);
        role.window.PumpUntil(1, 100);
    }
    EXPECT_TRUE(role.changes.empty());
    ASSERT_TRUE(role.window.PumpUntil(3, 3000));
    // All three came together, in one batch.
    EXPECT_LE(role.changes[2].when - role.changes[0].when, 100u);
}

TEST(ChangeNotification, PrivateEventsStayInTheProcess) {
    Probe other(L"client 1");
    ASSERT_TRUE(other.Ready());
    {
        ClientListener role;
        std::uint8_t extra[24] = {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7};
        SHChangeNotify2(static_cast<LONG>(VTLS_SHCNE_PRIVATE | SHCNE_UPDATEITEM), VTLS_SHCNF_FLUSH, Pidl(kItem),
                        nullptr, extra, sizeof(extra));
        ASSERT_EQ(role.changes.size(), 1u);
        EXPECT_EQ(role.changes[0].message, static_cast<UINT>(WM_VTLS_FSNOTIFY_PRIVATE));
        EXPECT_EQ(role.changes[0].extra, Bytes(extra, extra + 8));  // the poster's bytes before the slot
        EXPECT_EQ(role.changes[0].list1, kItem);                   // the slot points at list 1
        // Too few extra bytes for the slot: dropped, nothing written anywhere.
        std::uint8_t small[9] = {};
        SHChangeNotify2(static_cast<LONG>(VTLS_SHCNE_PRIVATE | SHCNE_UPDATEITEM), 0, Pidl(kItem), nullptr, small,
                        sizeof(small));
        EXPECT_EQ(role.changes.size(), 1u);
    }
    other.Finish();
    EXPECT_TRUE(other.Lines("event ").empty());
}

HRESULT WINAPI Refuse(LPCITEMIDLIST, DWORD, HGLOBAL*) { return S_FALSE; }

TEST(Listeners, RegistrationRules) {
    vtls::test::ListenerWindow listener;
    const HWND window = listener.Handle();
    EXPECT_EQ(VtlsSHChangeNotifyRegister(nullptr), E_INVALIDARG);
    EXPECT_EQ(VtlsSHChangeNotifyRegister(reinterpret_cast<HWND>(0x1234560)), E_INVALIDARG);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(window), E_INVALIDARG);  // never registered
    EXPECT_EQ(VtlsSHChangeNotifyRegister(window), S_OK);
    EXPECT_EQ(VtlsSHChangeNotifyRegister(window), S_OK);  // once in the set
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(window), S_OK);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(window), E_INVALIDARG);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(nullptr), S_OK);
    // The server role has none; its flag stays until another role is taken.
    ASSERT_EQ(VtlsSrvInitialize(Refuse), S_OK);
    EXPECT_EQ(VtlsSHChangeNotifyRegister(window), E_INVALIDARG);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(window), S_OK);
    VtlsTerminate();
    EXPECT_EQ(VtlsSHChangeNotifyRegister(window), E_INVALIDARG);
    ASSERT_EQ(VtlsCliInitialize(), S_OK);
    EXPECT_EQ(VtlsSHChangeNotifyRegister(window), S_OK);
    // A window destroyed without being revoked leaves at the next delivery.
    HWND gone = nullptr;
    {
        vtls::test::ListenerWindow destroyed;
        gone = destroyed.Handle();
        EXPECT_EQ(VtlsSHChangeNotifyRegister(gone), S_OK);
    }
    SHChangeNotify2(SHCNE_CREATE, VTLS_SHCNF_FLUSH, Pidl(kItem), nullptr, nullptr, 0);
    EXPECT_EQ(listener.changes.size(), 1u);
    EXPECT_EQ(VtlsSHChangeNotifyRevoke(gone), E_INVALIDARG);
    VtlsTerminate();
    // A window of another process could only misread the pointers it would get.
    Probe other(L"client");
    ASSERT_TRUE(other.Ready());
    EXPECT_EQ(VtlsSHChangeNotifyRegister(FindWindowW(VTLS_FSNOTIFY_CLASS, VTLS_CLIENT_WINDOW_NAME)), E_INVALIDARG);
    other.Finish();
}

// Swaps the function a module imports through one slot; answers the one it held.
FARPROC SwapImport(HMODULE module, FARPROC from, FARPROC to) {
    auto* base = reinterpret_cast<std::uint8_t*>(module);
    const auto* headers =
        reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    const DWORD imports = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); dll->Name != 0; ++dll) {
        for (auto* slot = reinterpret_cast<FARPROC*>(base + dll->FirstThunk); *slot != nullptr; ++slot) {
            DWORD protection = 0;
            if (*slot == from && VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &protection)) {
                *slot = to;
                VirtualProtect(slot, sizeof(*slot), protection, &protection);
                return from;
            }
        }
    }
    return nullptr;
}

// The lists the icon refresh asks the shell about, and whether it said it was
// refreshing each time.
std::vector<Bytes> g_iconLists;
bool g_flaggedThroughout = true;
DWORD_PTR WINAPI RecordFileInfo(LPCWSTR list, DWORD, SHFILEINFOW*, UINT, UINT flags) {
    if (flags & SHGFI_PIDL) g_iconLists.push_back(vtls::test::ListBytes(list));
    g_flaggedThroughout = g_flaggedThroughout && VtlsInUpdateIcon();
    return 0;
}

TEST(UpdateIcons, TheFolderAndEachTemplateChildAreRefreshedOnTheNotifyWindowsThread) {
    EXPECT_EQ(VtlsUpdateOpcServerIcons(12345), S_OK);
    ClientListener role;
    const HWND notify = FindWindowW(VTLS_FSNOTIFY_CLASS, VTLS_CLIENT_WINDOW_NAME);
    const HMODULE library = GetModuleHandleW(L"VantrelSh.dll");
    const auto original = GetProcAddress(GetModuleHandleW(L"shell32.dll"), "SHGetFileInfoW");
    const auto hook = reinterpret_cast<FARPROC>(reinterpret_cast<void*>(RecordFileInfo));
    ASSERT_NE(SwapImport(library, original, hook), nullptr);
    // The window takes the list it is handed and frees it.
    const GUID zero{};
    SendMessageW(notify, WM_VTLS_UPDATEICONS, 0,
                 reinterpret_cast<LPARAM>(VtlsCreateID(L"host", 2, 0, &zero, 0, nullptr)));
    SwapImport(library, hook, original);
    EXPECT_FALSE(VtlsInUpdateIcon());
    EXPECT_TRUE(g_flaggedThroughout);
    // Closed and open icons of the folder, then of its children of the template types.
    const Bytes host = vtls::test::EncodeReal(2, u"host");
    std::vector<Bytes> expected(2, vtls::test::List({host}));
    for (const int type : {10, 9, 8}) {
        expected.insert(expected.end(), 2, vtls::test::List({host, vtls::test::EncodeReal(type, u"Template")}));
    }
    EXPECT_EQ(g_iconLists, expected);
}

}  // namespace
