// VtlsGetContentInSync against a server process.
#include <gtest/gtest.h>

#include <process.h>

#include "VantrelSh.h"
#include "support/role_process.h"
#include "channel/portable/content_message.h"
#include "channel/echo_answer.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;
using vtls::test::RoleProcess;

struct ClientRole {
    ClientRole() { EXPECT_EQ(VtlsCliInitialize(), S_OK); }
    ~ClientRole() { VtlsTerminate(); }
};

using vtls::test::EchoAnswer;

Bytes ReplyBytes(const CIDA* reply) {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(reply);
    // The reply holds together (the library checked it); its packed size bounds it.
    const auto size = vtls::channel::PackedCidaSize(bytes, 1 << 20);
    return size ? Bytes(bytes, bytes + *size) : Bytes{};
}

TEST(ContentInSync, RootAndFolderComeBackAsTheServersCida) {
    RoleProcess server(L"server echo");
    ASSERT_TRUE(server.Ready());
    ClientRole role;
    const Bytes folder = vtls::test::List({vtls::test::EncodeReal(2, u"host")});
    const Bytes empty = vtls::test::List({});
    struct Case {
        LPCITEMIDLIST list;
        DWORD value;
        LPCITEMIDLIST expectedParent;
    } cases[] = {
        {nullptr, 1, nullptr},
        {reinterpret_cast<LPCITEMIDLIST>(empty.data()), 2, nullptr},
        {reinterpret_cast<LPCITEMIDLIST>(folder.data()), 3, reinterpret_cast<LPCITEMIDLIST>(folder.data())},
    };
    for (const Case& c : cases) {
        CIDA* reply = nullptr;
        ASSERT_EQ(VtlsGetContentInSync(c.list, c.value, &reply), S_OK);
        ASSERT_NE(reply, nullptr);
        EXPECT_EQ(ReplyBytes(reply), EchoAnswer(c.value, c.expectedParent));
        CoTaskMemFree(reply);
    }
    EXPECT_EQ(server.Finish().at("root-calls"), "2");
}

TEST(ContentInSync, RefusalsAndNoServerGiveFailAndNull) {
    ClientRole role;
    CIDA* reply = reinterpret_cast<CIDA*>(1);
    EXPECT_EQ(VtlsGetContentInSync(nullptr, 0, &reply), E_FAIL);  // no server runs
    EXPECT_EQ(reply, nullptr);
    EXPECT_EQ(VtlsGetContentInSync(nullptr, 0, nullptr), E_INVALIDARG);
    for (const wchar_t* answer : {L"server refuse", L"server null", L"server malformed"}) {
        RoleProcess server(answer);
        ASSERT_TRUE(server.Ready());
        reply = reinterpret_cast<CIDA*>(1);
        EXPECT_EQ(VtlsGetContentInSync(nullptr, 0, &reply), E_FAIL);
        EXPECT_EQ(reply, nullptr);
        server.Finish();
    }
}

TEST(ContentInSync, WithoutARoleNothingIsAdmitted) {
    CIDA* reply = reinterpret_cast<CIDA*>(1);
    EXPECT_EQ(VtlsGetContentInSync(nullptr, 0, &reply), E_FAIL);
    EXPECT_EQ(reply, nullptr);
}

struct Request {
    HRESULT result = E_UNEXPECTED;
    DWORD elapsed = 0;
};

unsigned __stdcall RequestOnThread(void* context) {
    auto* request = static_cast<Request*>(context);
    const DWORD start = GetTickCount();
    CIDA* reply = nullptr;
    request->result = VtlsGetContentInSync(nullptr, 9, &reply);
    request->elapsed = GetTickCount() - start;
    CoTaskMemFree(reply);
    return 0;
}

TEST(ContentInSync, SecondRequestGivesUpAfterOneSecond) {
    RoleProcess server(L"server slow");  // 1500 ms per answer
    ASSERT_TRUE(server.Ready());
    ClientRole role;
    Request first;
    Request second;
    const HANDLE firstThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, RequestOnThread, &first, 0, nullptr));
    Sleep(200);  // let the first be admitted
    RequestOnThread(&second);
    WaitForSingleObject(firstThread, 10000);
    CloseHandle(firstThread);
    EXPECT_EQ(first.result, S_OK);
    EXPECT_EQ(second.result, E_FAIL);
    EXPECT_GE(second.elapsed, 950u);
    EXPECT_LT(second.elapsed, 1400u);
    server.Finish();
}

TEST(ContentInSync, UpdateIconExports) {
    EXPECT_FALSE(VtlsInUpdateIcon());
    EXPECT_EQ(VtlsUpdateOpcServerIcons(12345), S_OK);
    // The refresh runs on the notify window's thread and frees the list it is handed.
    ClientRole role;
    const HWND notify = FindWindowW(VTLS_FSNOTIFY_CLASS, VTLS_CLIENT_WINDOW_NAME);
    ASSERT_NE(notify, nullptr);
    for (const bool withFolder : {false, true}) {
        LPITEMIDLIST folder = nullptr;
        if (withFolder) {
            const GUID zero{};
            folder = VtlsCreateID(L"host", 2, 0, &zero, 0, nullptr);
        }
        EXPECT_EQ(SendMessageW(notify, WM_VTLS_UPDATEICONS, 0, reinterpret_cast<LPARAM>(folder)), 0);
    }
    EXPECT_FALSE(VtlsInUpdateIcon());
}

}  // namespace
