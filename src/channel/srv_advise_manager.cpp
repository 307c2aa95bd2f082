#include "channel/srv_advise_manager.h"

#include <objbase.h>

#include "base/bounded_send.h"
#include "channel/channel_messages.h"
#include "channel/portable/content_message.h"
#include "channel/role_state.h"
#include "base/unique_resource.h"

namespace vtls {
namespace {

WindowClassRecord g_srvChannelClass{VTLS_SRVCHANNEL_CLASS, 0};

}  // namespace

CVtlsSrvAdviseManager::CVtlsSrvAdviseManager() noexcept : CThreadedWindow(g_srvChannelClass, WM_VTLS_CLOSECHANNEL) {}

HRESULT CVtlsSrvAdviseManager::Start() noexcept { return StartThread() ? S_OK : E_OUTOFMEMORY; }

void CVtlsSrvAdviseManager::Stop() noexcept { StopThread(); }

bool CVtlsSrvAdviseManager::EnterThread() noexcept {
    return SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED | COINIT_DISABLE_OLE1DDE));
}

void CVtlsSrvAdviseManager::LeaveThread() noexcept { CoUninitialize(); }

const wchar_t* CVtlsSrvAdviseManager::WindowName() const noexcept { return VTLS_SERVER_WINDOW_NAME; }

bool CVtlsSrvAdviseManager::ProcessOwnMessage(HWND /*window*/, UINT message, WPARAM wParam, LPARAM lParam,
                                              LRESULT& result) noexcept {
    if (message != WM_COPYDATA) {
        return false;
    }
    result = OnCopyData(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    return true;
}

LRESULT CVtlsSrvAdviseManager::OnCopyData(HWND replyTo, const COPYDATASTRUCT* data) noexcept {
    if (data == nullptr || data->dwData != VTLS_COPYDATA_CONTENT) {
        return 0;
    }
    // The sender is another process: nothing is read before the sizes hold. With
    // cbData 0 the pointer may still be set, and must not be read.
    const auto request = data->cbData == 0 ? std::nullopt
                                           : channel::ParseContentRequest(
                                                 static_cast<const std::uint8_t*>(data->lpData), data->cbData);
    if (!request) {
        return E_INVALIDARG;
    }
    const VTLSCONTENTPROC content = g_pfnContent;
    if (content == nullptr) {
        return E_FAIL;
    }
    HGLOBAL handed = nullptr;
    const HRESULT hr = content(reinterpret_cast<LPCITEMIDLIST>(request->parent), request->value, &handed);
    if (hr != S_OK) {
        return hr;  // on a refusal the out-value is not ours to read or free
    }
    // Freed however the request ends.
    const UniqueGlobal answer(handed);
    if (!answer) {
        return E_FAIL;
    }
    const GlobalLockScope locked(answer.get());
    if (locked.address() == nullptr) {
        return E_FAIL;
    }
    // The callback's block is checked like anything received: a CIDA that does not
    // hold together, or that is too large for one message, is not sent.
    const auto size =
        channel::PackedCidaSize(static_cast<const std::uint8_t*>(locked.address()), GlobalSize(answer.get()));
    if (!size || *size > VTLS_MAX_COPYDATA_BYTES) {
        return E_FAIL;
    }
    COPYDATASTRUCT reply{VTLS_COPYDATA_CONTENT, static_cast<DWORD>(*size), locked.address()};
    // Bounded: a requester whose window stopped taking messages holds up every
    // other client's request behind it for one bound, not for good.
    const SendResult sent = SendBounded(replyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(Handle()),
                                        reinterpret_cast<LPARAM>(&reply), VTLS_CONTENT_REPLY_TIMEOUT_MS);
    // A reply window that is gone loses its reply without error; one that did
    // not take it in time fails the request it belongs to.
    return sent.outcome == SendOutcome::kTimedOut ? E_FAIL : S_OK;
}

}  // namespace vtls
