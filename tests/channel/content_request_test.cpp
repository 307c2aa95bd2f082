// Content requests to a server process: through VtlsGetContentInSync, and as raw
// WM_COPYDATA the way a shell-side process sends them, with the reply taken by
// a window of this test.
#include <gtest/gtest.h>

#include <vector>

#include "content_answers.h"
#include "itemid/portable/id_list.h"
#include "support/hidden_window.h"
#include "support/malformed_messages.h"
#include "support/probe.h"

namespace {

using namespace vtls::test;

LPCITEMIDLIST Pidl(const Bytes& bytes) { return reinterpret_cast<LPCITEMIDLIST>(bytes.data()); }

TEST(ContentInSync, RootAndFolderComeBackAsTheServersCidaGivenARoleAndAServer) {
    EXPECT_EQ(AskInSync(0).hr, E_FAIL);  // no role
    ClientRole role;
    EXPECT_EQ(AskInSync(0).hr, E_FAIL);  // no server runs
    EXPECT_EQ(VtlsGetContentInSync(nullptr, 0, nullptr), E_INVALIDARG);
    Probe server(L"server echo");
    ASSERT_TRUE(server.Ready());
    const Bytes folder = List({EncodeReal(2, u"host")});
    const Bytes empty = List({});
    EXPECT_EQ(AskInSync(1).reply, EchoAnswer(1, nullptr));
    EXPECT_EQ(AskInSync(2, Pidl(empty)).reply, EchoAnswer(2, nullptr));
    EXPECT_EQ(AskInSync(3, Pidl(folder)).reply, EchoAnswer(3, Pidl(folder)));
    EXPECT_EQ(server.Finish().at("root-calls"), "2");
}

// The window that receives replies, on this thread: a reply arrives while this
// thread waits in its SendMessageW.
std::vector<Bytes> g_replies;
LRESULT CALLBACK ReplyProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_COPYDATA) return DefWindowProcW(window, message, wParam, lParam);
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    EXPECT_EQ(data->dwData, static_cast<ULONG_PTR>(VTLS_COPYDATA_CONTENT));
    const auto* bytes = static_cast<const std::uint8_t*>(data->lpData);
    g_replies.emplace_back(bytes, bytes + data->cbData);
    return TRUE;
}

class ContentRequest : public ::testing::Test {
protected:
    void SetUp() override {
        g_replies.clear();
        reply = HiddenWindow(L"vtls_test_reply", L"", ReplyProcedure);
    }
    void TearDown() override { DestroyWindow(reply); }

    LRESULT Send(const Bytes& data, std::size_t size, ULONG_PTR kind = VTLS_COPYDATA_CONTENT) const {
        // The server's bounded reply gives up at once on a thread that has not
        // looked at its queue for 5 s (SMTO_ABORTIFHUNG); this one has only been
        // running tests.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
        COPYDATASTRUCT request{kind, static_cast<DWORD>(size), const_cast<std::uint8_t*>(data.data())};
        return SendMessageW(FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME), WM_COPYDATA,
                            reinterpret_cast<WPARAM>(reply), reinterpret_cast<LPARAM>(&request));
    }
    static Bytes RequestFor(DWORD value, const Bytes* list = nullptr) {
        const std::size_t listSize = list ? vtls::itemid::ListSize(list->data()) : 0;
        Bytes request(vtls::channel::ContentRequestSize(listSize));
        vtls::channel::WriteContentRequest(request.data(), value, list ? list->data() : nullptr, listSize);
        return request;
    }
    LRESULT Ask(DWORD value) const {
        const Bytes request = RequestFor(value);
        return Send(request, request.size());
    }

    HWND reply = nullptr;
};

TEST_F(ContentRequest, OnlyWellFormedRequestsReachTheCallbackAndItsCidaComesBack) {
    Probe server(L"server echo");
    ASSERT_TRUE(server.Ready());
    for (const auto& bad : MalformedRequests()) EXPECT_EQ(Send(bad.bytes, bad.bytes.size()), E_INVALIDARG) << bad.what;
    const Bytes good = RequestFor(1);
    EXPECT_EQ(Send(good, 0), E_INVALIDARG) << "nothing at all";
    EXPECT_EQ(Send(good, good.size(), 0x1401), 0) << "other kind of data";
    EXPECT_EQ(Send(good, 6), S_OK) << "trailer missing is fine";
    const Bytes parent = List({EncodeReal(2, u"host"), EncodeReal(9, u"server", 7)});
    const Bytes request = RequestFor(42, &parent);
    EXPECT_EQ(Send(request, request.size()), S_OK);
    EXPECT_EQ(g_replies, (std::vector<Bytes>{EchoAnswer(1, nullptr), EchoAnswer(42, Pidl(parent))}));
    EXPECT_EQ(server.Finish().at("calls"), "2");
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
