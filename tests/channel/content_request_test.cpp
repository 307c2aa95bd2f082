// Content requests sent to a server process as raw WM_COPYDATA, the way a
// shell-side process sends them, with the reply taken by a window of this test.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "VantrelSh.h"
#include "channel/portable/content_message.h"
#include "echo_answer.h"
#include "itemid/portable/id_list.h"
#include "list_bytes.h"
#include "support/role_process.h"

namespace {

using vtls::test::Bytes;
using vtls::test::RoleProcess;

// The window that receives replies, on this thread: a reply arrives while this
// thread waits in its SendMessageW.
class ReplyWindow {
public:
    ReplyWindow() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"vtls_test_reply";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, L"vtls_test_reply", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    }
    ~ReplyWindow() { DestroyWindow(window_); }

    [[nodiscard]] HWND Handle() const { return window_; }

    static std::vector<Bytes> replies;
    static std::vector<ULONG_PTR> replyKinds;

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_COPYDATA) {
            const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
            const auto* bytes = static_cast<const std::uint8_t*>(data->lpData);
            replies.emplace_back(bytes, bytes + data->cbData);
            replyKinds.push_back(data->dwData);
            return TRUE;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }

    HWND window_;
};
std::vector<Bytes> ReplyWindow::replies;
std::vector<ULONG_PTR> ReplyWindow::replyKinds;

class ContentRequest : public ::testing::Test {
protected:
    void SetUp() override {
        ReplyWindow::replies.clear();
        ReplyWindow::replyKinds.clear();
    }

    static LRESULT Send(HWND channel, HWND replyTo, ULONG_PTR kind, const void* data, DWORD size) {
        COPYDATASTRUCT request{kind, size, const_cast<void*>(data)};
        return SendMessageW(channel, WM_COPYDATA, reinterpret_cast<WPARAM>(replyTo),
                            reinterpret_cast<LPARAM>(&request));
    }

    static Bytes Request(DWORD value, const Bytes* list) {
        const std::size_t listSize = list ? vtls::itemid::ListSize(list->data()) : 0;
        Bytes request(vtls::channel::ContentRequestSize(listSize));
        vtls::channel::WriteContentRequest(request.data(), value, list ? list->data() : nullptr, listSize);
        return request;
    }

    static LRESULT Ask(HWND channel, HWND replyTo, DWORD value, const Bytes* list) {
        const Bytes request = Request(value, list);
        return Send(channel, replyTo, VTLS_COPYDATA_CONTENT, request.data(), static_cast<DWORD>(request.size()));
    }

    static Bytes ExpectedEcho(DWORD value, const Bytes* parent) {
        return vtls::test::EchoAnswer(value, parent ? reinterpret_cast<LPCITEMIDLIST>(parent->data()) : nullptr);
    }

    static HWND Channel() { return FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME); }
};

TEST_F(ContentRequest, ReplyIsTheCallbacksCidaByteForByte) {
    RoleProcess server(L"server echo");
    ASSERT_TRUE(server.Ready());
    const HWND channel = Channel();
    ASSERT_NE(channel, nullptr);
    ReplyWindow reply;

    const Bytes parent = vtls::test::List({vtls::test::EncodeReal(2, u"host"), vtls::test::EncodeReal(9, u"server", 7)});
    EXPECT_EQ(Ask(channel, reply.Handle(), 42, &parent), S_OK);
    const Bytes empty = vtls::test::List({});
    EXPECT_EQ(Ask(channel, reply.Handle(), 7, &empty), S_OK);  // the root
    EXPECT_EQ(Ask(channel, reply.Handle(), 8, nullptr), S_OK);  // the root again
    ASSERT_EQ(ReplyWindow::replies.size(), 3u);
    EXPECT_EQ(ReplyWindow::replies[0], ExpectedEcho(42, &parent));
    EXPECT_EQ(ReplyWindow::replies[1], ExpectedEcho(7, nullptr));
    EXPECT_EQ(ReplyWindow::replies[2], ExpectedEcho(8, nullptr));
    for (const ULONG_PTR kind : ReplyWindow::replyKinds) EXPECT_EQ(kind, static_cast<ULONG_PTR>(VTLS_COPYDATA_CONTENT));

    const auto report = server.Finish();
    EXPECT_EQ(report.at("calls"), "3");
    EXPECT_EQ(report.at("root-calls"), "2");  // the empty list reaches the callback as null
}

TEST_F(ContentRequest, MalformedRequestsAreRefusedWithoutCallingBack) {
    RoleProcess server(L"server echo");
    ASSERT_TRUE(server.Ready());
    const HWND channel = Channel();
    ASSERT_NE(channel, nullptr);
    ReplyWindow reply;

    const Bytes good = Request(1, nullptr);
    Bytes unterminated = {1, 0, 0, 0, 6, 0, 1, 2, 3, 4};       // an item, then nothing
    Bytes jumping = {1, 0, 0, 0, 0xFF, 0x7F, 0, 0, 0, 0};        // an item reaching past the end
    const Bytes shortValue = {1, 0, 0};
    const struct {
        const char* what;
        ULONG_PTR kind;
        const void* data;
        DWORD size;
        LRESULT expected;
    } cases[] = {
        {"nothing at all", VTLS_COPYDATA_CONTENT, good.data(), 0, E_INVALIDARG},
        {"value cut short", VTLS_COPYDATA_CONTENT, shortValue.data(), 3, E_INVALIDARG},
        {"no list terminator", VTLS_COPYDATA_CONTENT, unterminated.data(), static_cast<DWORD>(unterminated.size()),
         E_INVALIDARG},
        {"item past the end", VTLS_COPYDATA_CONTENT, jumping.data(), static_cast<DWORD>(jumping.size()), E_INVALIDARG},
        {"terminator cut in half", VTLS_COPYDATA_CONTENT, good.data(), 5, E_INVALIDARG},
        {"other kind of data", 0x1401, good.data(), static_cast<DWORD>(good.size()), 0},
        {"trailer missing is fine", VTLS_COPYDATA_CONTENT, good.data(), 6, S_OK},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Send(channel, reply.Handle(), c.kind, c.data, c.size), c.expected) << c.what;
    }
    EXPECT_EQ(ReplyWindow::replies.size(), 1u);
    EXPECT_EQ(server.Finish().at("calls"), "1");
}

struct RefusalCase {
    const wchar_t* answer;
    LRESULT expected;
};

class ContentRefusal : public ContentRequest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(ContentRefusal, NoReplyAndTheResultTravelsBack) {
    RoleProcess server(std::wstring(L"server ") + GetParam().answer);
    ASSERT_TRUE(server.Ready());
    ReplyWindow reply;
    EXPECT_EQ(Ask(Channel(), reply.Handle(), 3, nullptr), GetParam().expected);
    EXPECT_TRUE(ReplyWindow::replies.empty());
    EXPECT_EQ(server.Finish().at("calls"), "1");
}

INSTANTIATE_TEST_SUITE_P(Answers, ContentRefusal,
                         ::testing::Values(RefusalCase{L"refuse", S_FALSE}, RefusalCase{L"fail", E_ACCESSDENIED},
                                           RefusalCase{L"null", E_FAIL}, RefusalCase{L"malformed", E_FAIL}));

TEST_F(ContentRequest, RepliesUpToTheBoundAreSentAndLargerOnesRefused) {
    RoleProcess server(L"server sized");
    ASSERT_TRUE(server.Ready());
    ReplyWindow reply;
    // The request value tells the server how large a CIDA to answer with.
    EXPECT_EQ(Ask(Channel(), reply.Handle(), VTLS_MAX_COPYDATA_BYTES, nullptr), S_OK);
    ASSERT_EQ(ReplyWindow::replies.size(), 1u);
    EXPECT_EQ(ReplyWindow::replies[0].size(), VTLS_MAX_COPYDATA_BYTES);
    EXPECT_EQ(Ask(Channel(), reply.Handle(), VTLS_MAX_COPYDATA_BYTES + 1, nullptr), E_FAIL);
    EXPECT_EQ(ReplyWindow::replies.size(), 1u);
    server.Finish();
}

TEST_F(ContentRequest, ReplyToAVanishedWindowIsLostWithoutError) {
    RoleProcess server(L"server echo");
    ASSERT_TRUE(server.Ready());
    HWND gone = nullptr;
    {
        ReplyWindow reply;
        gone = reply.Handle();
    }
    EXPECT_EQ(Ask(Channel(), gone, 1, nullptr), S_OK);
    server.Finish();
}

}  // namespace
