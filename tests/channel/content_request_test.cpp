// Content requests to a server process: through VtlsGetContentInSync, and as raw
// WM_COPYDATA the way a shell-side process sends them, with the reply taken by
// a window of this test.
#include <gtest/gtest.h>

#include <process.h>

#include <vector>

#include "VantrelSh.h"
#include "channel/portable/content_message.h"
#include "echo_answer.h"
#include "itemid/portable/id_list.h"
#include "support/malformed_messages.h"
#include "support/probe.h"

namespace {

using vtls::test::Bytes;
using vtls::test::EchoAnswer;
using vtls::test::Probe;

struct ClientRole {
    ClientRole() { EXPECT_EQ(VtlsCliInitialize(), S_OK); }
    ~ClientRole() { VtlsTerminate(); }
};

// The content VtlsGetContentInSync returns, bounded by its packed size; empty on failure.
Bytes AskInSync(LPCITEMIDLIST folder, DWORD value, HRESULT expected = S_OK) {
    CIDA* reply = reinterpret_cast<CIDA*>(1);
    EXPECT_EQ(VtlsGetContentInSync(folder, value, &reply), expected);
    if (expected != S_OK) {
        EXPECT_EQ(reply, nullptr);
    }
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(reply);
    const auto size = bytes ? vtls::channel::PackedCidaSize(bytes, 1 << 20) : std::nullopt;
    const Bytes content = size ? Bytes(bytes, bytes + *size) : Bytes{};
    CoTaskMemFree(reply);
    return content;
}

TEST(ContentInSync, RootAndFolderComeBackAsTheServersCida) {
    Probe server(L"server echo");
    ASSERT_TRUE(server.Ready());
    ClientRole role;
    const Bytes folder = vtls::test::List({vtls::test::EncodeReal(2, u"host")});
    const Bytes empty = vtls::test::List({});
    EXPECT_EQ(AskInSync(nullptr, 1), EchoAnswer(1, nullptr));
    EXPECT_EQ(AskInSync(reinterpret_cast<LPCITEMIDLIST>(empty.data()), 2), EchoAnswer(2, nullptr));
    const auto list = reinterpret_cast<LPCITEMIDLIST>(folder.data());
    EXPECT_EQ(AskInSync(list, 3), EchoAnswer(3, list));
    EXPECT_EQ(server.Finish().at("root-calls"), "2");
}

TEST(ContentInSync, RefusalsNoServerAndNoRoleGiveFailAndNull) {
    AskInSync(nullptr, 0, E_FAIL);  // no role
    ClientRole role;
    AskInSync(nullptr, 0, E_FAIL);  // no server runs
    EXPECT_EQ(VtlsGetContentInSync(nullptr, 0, nullptr), E_INVALIDARG);
    for (const wchar_t* answer : {L"server refuse", L"server null", L"server malformed"}) {
        Probe server(answer);
        ASSERT_TRUE(server.Ready());
        AskInSync(nullptr, 0, E_FAIL);
        server.Finish();
    }
}

struct Request {
    HRESULT result = E_UNEXPECTED;
    DWORD elapsed = 0;
    static unsigned __stdcall Run(void* context) {
        auto* request = static_cast<Request*>(context);
        const DWORD start = GetTickCount();
        CIDA* reply = nullptr;
        request->result = VtlsGetContentInSync(nullptr, 9, &reply);
        request->elapsed = GetTickCount() - start;
        CoTaskMemFree(reply);
        return 0;
    }
};

TEST(ContentInSync, SecondRequestGivesUpAfterOneSecond) {
    Probe server(L"server slow");  // 1500 ms per answer
    ASSERT_TRUE(server.Ready());
    ClientRole role;
    Request first, second;
    const vtls::UniqueHandle thread(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, Request::Run, &first, 0, nullptr)));
    Sleep(200);  // let the first be admitted
    Request::Run(&second);
    WaitForSingleObject(thread.get(), 10000);
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
    const GUID zero{};
    EXPECT_EQ(SendMessageW(notify, WM_VTLS_UPDATEICONS, 0, 0), 0);
    EXPECT_EQ(SendMessageW(notify, WM_VTLS_UPDATEICONS, 0,
                           reinterpret_cast<LPARAM>(VtlsCreateID(L"host", 2, 0, &zero, 0, nullptr))),
              0);
    EXPECT_FALSE(VtlsInUpdateIcon());
}

// The window that receives replies, on this thread: a reply arrives while this
// thread waits in its SendMessageW.
std::vector<Bytes> g_replies;
LRESULT CALLBACK ReplyProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    EXPECT_EQ(data->dwData, static_cast<ULONG_PTR>(VTLS_COPYDATA_CONTENT));
    g_replies.emplace_back(static_cast<const std::uint8_t*>(data->lpData),
                           static_cast<const std::uint8_t*>(data->lpData) + data->cbData);
    return TRUE;
}

class ContentRequest : public ::testing::Test {
protected:
    void SetUp() override {
        g_replies.clear();
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = ReplyProcedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"vtls_test_reply";
        RegisterClassW(&windowClass);
        reply = CreateWindowExW(0, L"vtls_test_reply", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                windowClass.hInstance, nullptr);
    }
    void TearDown() override { DestroyWindow(reply); }

    static LRESULT Send(HWND replyTo, ULONG_PTR kind, const Bytes& data, std::size_t size) {
        COPYDATASTRUCT request{kind, static_cast<DWORD>(size), const_cast<std::uint8_t*>(data.data())};
        return SendMessageW(FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME), WM_COPYDATA,
                            reinterpret_cast<WPARAM>(replyTo), reinterpret_cast<LPARAM>(&request));
    }
    static Bytes RequestFor(DWORD value, const Bytes* list) {
        const std::size_t listSize = list ? vtls::itemid::ListSize(list->data()) : 0;
        Bytes request(vtls::channel::ContentRequestSize(listSize));
        vtls::channel::WriteContentRequest(request.data(), value, list ? list->data() : nullptr, listSize);
        return request;
    }
    LRESULT Ask(DWORD value, const Bytes* list = nullptr) {
        const Bytes request = RequestFor(value, list);
        return Send(reply, VTLS_COPYDATA_CONTENT, request, request.size());
    }

    HWND reply = nullptr;
};

TEST_F(ContentRequest, ReplyIsTheCallbacksCidaByteForByte) {
    Probe server(L"server echo");
    ASSERT_TRUE(server.Ready());
    const Bytes parent = vtls::test::List({vtls::test::EncodeReal(2, u"host"), vtls::test::EncodeReal(9, u"server", 7)});
    const Bytes empty = vtls::test::List({});
    EXPECT_EQ(Ask(42, &parent), S_OK);
    EXPECT_EQ(Ask(7, &empty), S_OK);  // the root
    EXPECT_EQ(Ask(8), S_OK);          // the root again
    EXPECT_EQ(g_replies, (std::vector<Bytes>{EchoAnswer(42, reinterpret_cast<LPCITEMIDLIST>(parent.data())),
                                             EchoAnswer(7, nullptr), EchoAnswer(8, nullptr)}));
    const auto report = server.Finish();
    EXPECT_EQ(report.at("calls"), "3");
    EXPECT_EQ(report.at("root-calls"), "2");  // the empty list reaches the callback as null
}

TEST_F(ContentRequest, MalformedRequestsAreRefusedWithoutCallingBack) {
    Probe server(L"server echo");
    ASSERT_TRUE(server.Ready());
    const Bytes good = RequestFor(1, nullptr);
    for (const auto& bad : vtls::test::MalformedRequests()) {
        EXPECT_EQ(Send(reply, VTLS_COPYDATA_CONTENT, bad.bytes, bad.bytes.size()), E_INVALIDARG) << bad.what;
    }
    EXPECT_EQ(Send(reply, VTLS_COPYDATA_CONTENT, good, 0), E_INVALIDARG) << "nothing at all";
    EXPECT_EQ(Send(reply, 0x1401, good, good.size()), 0) << "other kind of data";
    EXPECT_EQ(Send(reply, VTLS_COPYDATA_CONTENT, good, 6), S_OK) << "trailer missing is fine";
    EXPECT_EQ(g_replies.size(), 1u);
    EXPECT_EQ(server.Finish().at("calls"), "1");
}

TEST_F(ContentRequest, RefusalsSendNoReplyAndTheResultTravelsBack) {
    const std::pair<const wchar_t*, LRESULT> cases[] = {
        {L"server refuse", S_FALSE}, {L"server fail", E_ACCESSDENIED}, {L"server null", E_FAIL}, {L"server malformed", E_FAIL}};
    for (const auto& [answer, expected] : cases) {
        Probe server(answer);
        ASSERT_TRUE(server.Ready());
        EXPECT_EQ(Ask(3), expected);
        EXPECT_EQ(server.Finish().at("calls"), "1");
    }
    EXPECT_TRUE(g_replies.empty());
}

TEST_F(ContentRequest, RepliesUpToTheBoundAreSentLargerOnesRefusedAndLostOnesForgotten) {
    Probe server(L"server sized");
    ASSERT_TRUE(server.Ready());
    // The request value tells the server how large a CIDA to answer with.
    EXPECT_EQ(Ask(VTLS_MAX_COPYDATA_BYTES), S_OK);
    ASSERT_EQ(g_replies.size(), 1u);
    EXPECT_EQ(g_replies[0].size(), VTLS_MAX_COPYDATA_BYTES);
    EXPECT_EQ(Ask(VTLS_MAX_COPYDATA_BYTES + 1), E_FAIL);
    EXPECT_EQ(g_replies.size(), 1u);
    // A reply to a window that is gone is lost without an error.
    DestroyWindow(reply);
    EXPECT_EQ(Ask(64), S_OK);
    server.Finish();
}

}  // namespace
