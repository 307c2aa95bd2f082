// Loading the library and taking and leaving roles: what loading and unloading
// leave behind, the windows other processes find, the alive event, and what a
// thousand role changes leave behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "VantrelSh.h"
#include "notify/notify_messages.h"
#include "support/probe.h"
#include "support/process_resources.h"

namespace {

using vtls::test::ParseReport;
using vtls::test::Probe;
using vtls::test::RunChild;

DWORD OwnerOf(HWND window) {
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    return pid;
}

TEST(Roles, ServerWindowsAreFoundByClassAndNameFromAnotherProcess) {
    Probe server(L"server echo");
    ASSERT_TRUE(server.Ready());
    const HWND channel = FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME);
    const HWND notify = FindWindowW(VTLS_FSNOTIFY_CLASS, VTLS_SERVER_WINDOW_NAME);
    ASSERT_NE(channel, nullptr);
    ASSERT_NE(notify, nullptr);
    EXPECT_EQ(OwnerOf(channel), server.ProcessId());
    EXPECT_EQ(OwnerOf(notify), server.ProcessId());
    // Each window reaches its own object: the two maps answer a foreign
    // WM_COPYDATA differently (the channel 0, the notify manager TRUE).
    COPYDATASTRUCT foreign{0x1234, 0, nullptr};
    EXPECT_EQ(SendMessageW(channel, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&foreign)), 0);
    EXPECT_EQ(SendMessageW(notify, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&foreign)), TRUE);

    const auto report = server.Finish();
    EXPECT_EQ(report.at("own-channel-window-after"), "0");
}

// Wine copies a WM_COPYDATA onto the receiving thread's stack: the library's
// window threads must take a message of the library's full bound.
TEST(Roles, ClientWindowIsNamedForItsRoleAndTakesAMessageOfTheFullBound) {
    Probe client(L"client");
    ASSERT_TRUE(client.Ready());
    const HWND notify = FindWindowW(VTLS_FSNOTIFY_CLASS, VTLS_CLIENT_WINDOW_NAME);
    ASSERT_NE(notify, nullptr);
    EXPECT_EQ(OwnerOf(notify), client.ProcessId());
    EXPECT_EQ(FindWindowW(VTLS_SRVCHANNEL_CLASS, nullptr), nullptr) << "a client has no channel";
    std::vector<std::uint8_t> payload(VTLS_MAX_COPYDATA_BYTES, 0x5A);
    COPYDATASTRUCT data{0x1234, static_cast<DWORD>(payload.size()), payload.data()};
    DWORD_PTR result = 0;
    EXPECT_NE(SendMessageTimeoutW(notify, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 10000,
                                  &result),
              0);
    EXPECT_EQ(result, static_cast<DWORD_PTR>(TRUE));
    // Another process may close it as Stop does.
    SendMessageW(notify, WM_VTLS_CLOSENOTIFY, 0, 0);
    EXPECT_FALSE(IsWindow(notify));
    client.Finish();
}

TEST(Roles, AliveEventLivesWhileAClientHoldsIt) {
    ASSERT_FALSE(VtlsSrvIsShellAlive());
    {
        Probe first(L"client");
        ASSERT_TRUE(first.Ready());
        EXPECT_TRUE(VtlsSrvIsShellAlive());
        {
            Probe second(L"client");
            ASSERT_TRUE(second.Ready());
            first.Finish();
            EXPECT_TRUE(VtlsSrvIsShellAlive());  // the second still holds it
            second.Finish();
        }
        EXPECT_FALSE(VtlsSrvIsShellAlive());
    }
}

HRESULT WINAPI RefuseEverything(LPCITEMIDLIST, DWORD, HGLOBAL*) { return S_FALSE; }

// The window is reachable when the initialise returns, and gone when the
// terminate returns; the thread is gone too. Terminating without a role, or
// twice, is harmless.
TEST(Roles, ThousandRoleChangesLeaveNothingBehind) {
    VtlsTerminate();
    EXPECT_EQ(VtlsSrvInitialize(nullptr), E_INVALIDARG) << "a server needs a callback";
    const auto cycle = [](bool server) {
        const HRESULT hr = server ? VtlsSrvInitialize(RefuseEverything) : VtlsCliInitialize();
        const wchar_t* name = server ? VTLS_SERVER_WINDOW_NAME : VTLS_CLIENT_WINDOW_NAME;
        const bool reachable = FindWindowW(VTLS_FSNOTIFY_CLASS, name) != nullptr &&
                               (!server || FindWindowW(VTLS_SRVCHANNEL_CLASS, name) != nullptr);
        VtlsTerminate();
        const bool gone = FindWindowW(VTLS_FSNOTIFY_CLASS, nullptr) == nullptr ||
                          OwnerOf(FindWindowW(VTLS_FSNOTIFY_CLASS, nullptr)) != GetCurrentProcessId();
        return hr == S_OK && reachable && gone;
    };
    ASSERT_TRUE(cycle(false));  // first use registers the classes
    ASSERT_TRUE(cycle(true));
    VtlsTerminate();
    const auto before = vtls::test::MeasureProcess();
    int failures = 0;
    for (int i = 0; i < 1000; ++i) failures += cycle(i % 4 == 3) ? 0 : 1;
    const auto after = vtls::test::MeasureProcess();
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(after.threads, before.threads);
    EXPECT_EQ(after.handles, before.handles);
    EXPECT_EQ(after.topLevelWindows, before.topLevelWindows);
    EXPECT_LE(after.pagefileBytes, before.pagefileBytes + 256 * 1024);
}

// A copy of the library beside this one: its window classes stay when its
// role's thread ends, and go when it is unloaded, so that a later load never
// finds a class whose procedure was in unmapped code.
TEST(LibraryLoad, WindowClassesGoWithTheLibraryNotWithItsThreads) {
    wchar_t folder[MAX_PATH] = {};
    ASSERT_NE(GetTempPathW(MAX_PATH, folder), 0u);
    const std::wstring copy = std::wstring(folder) + L"vtls_classes_copy.dll";
    ASSERT_TRUE(CopyFileW((vtls::test::ProgramFolder() + L"\\VantrelSh.dll").c_str(), copy.c_str(), FALSE));
    const HMODULE library = LoadLibraryW(copy.c_str());
    ASSERT_NE(library, nullptr);
    const auto start = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(library, "VtlsCliInitialize")));
    const auto stop =
        reinterpret_cast<void(WINAPI*)()>(reinterpret_cast<void*>(GetProcAddress(library, "VtlsTerminate")));
    ASSERT_TRUE(start != nullptr && stop != nullptr);
    EXPECT_EQ(start(), S_OK);
    stop();
    WNDCLASSEXW info{};
    info.cbSize = sizeof info;
    EXPECT_TRUE(GetClassInfoExW(library, VTLS_FSNOTIFY_CLASS, &info)) << "removed when its thread ended";
    FreeLibrary(library);
    EXPECT_FALSE(GetClassInfoExW(library, VTLS_FSNOTIFY_CLASS, &info)) << "left behind by the unload";
    DeleteFileW(copy.c_str());
}

// Wine's loader and the shell keep a fixed amount per process after the first
// loads of a DLL, so the test compares a short run with a long one: only what
// grows with the number of loads is a leak.
TEST(LibraryLoad, RepeatedLoadAndUnloadLeaksNothing) {
    const auto measure = [](int cycles) {
        const auto child = RunChild(L"vtls_probe.exe", L"load-unload " + std::to_wstring(cycles));
        EXPECT_TRUE(child.has_value());
        EXPECT_EQ(child ? child->exitCode : 1u, 0u) << (child ? child->output : "");
        auto report = ParseReport(child ? child->output : "");
        EXPECT_EQ(report["handles-counted"], "1") << "the system handle table could not be read";
        const auto number = [&](const char* key) {
            return report.count(key) ? std::stoll(report[key]) : std::numeric_limits<long long>::max() / 2;
        };
        return std::make_pair(number("handles-added"), number("pagefile-added"));
    };
    const auto [shortHandles, shortBytes] = measure(50);
    const auto [longHandles, longBytes] = measure(250);
    EXPECT_EQ(longHandles, shortHandles);
    // 200 more loads: a leak of a hundred bytes each would show; pages round the rest.
    EXPECT_LE(longBytes - shortBytes, 16 * 1024) << "50 loads " << shortBytes << ", 250 loads " << longBytes;
}

}  // namespace
