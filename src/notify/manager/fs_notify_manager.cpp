#include "notify/manager/fs_notify_manager.h"

#include <objbase.h>

#include <cstring>

#include "VantrelSh.h"
#include "notify/notify_messages.h"
#include "channel/content_client.h"
#include "channel/role_state.h"
#include "base/portable/byte_order.h"
#include "itemid/shell_allocator.h"
#include "notify/portable/change_format.h"

namespace vtls {
namespace {

WindowClassRecord g_fsNotifyClass{VTLS_FSNOTIFY_CLASS, 0};

constexpr UINT_PTR kFlushTimerId = 1;
constexpr UINT kFlushDelayMs = 500;

}  // namespace

CFsNotifyManager::~CFsNotifyManager() {
    // Records never flushed go with m_pending; handles and the reply are Stop's
    // to release.
    for (std::size_t i = 0; i < m_deferredBatches.size(); ++i) {
        DeliveryBlock::Release(m_deferredBatches[i], HeapVector<HWND>());
    }
}

CFsNotifyManager::CFsNotifyManager() noexcept : CThreadedWindow(g_fsNotifyClass, WM_VTLS_CLOSENOTIFY) {}

HRESULT CFsNotifyManager::Start() noexcept {
    if (ThreadRunning()) {
        return S_OK;
    }
    // Content requests are admitted while the role is held.
    if (g_ContentClient.Open() && StartThread()) {
        return S_OK;
    }
    g_ContentClient.Close();
    return E_OUTOFMEMORY;
}

void CFsNotifyManager::Stop() noexcept {
    StopThread();
    g_ContentClient.Close();
}

const wchar_t* CFsNotifyManager::WindowName() const noexcept {
    return g_bFsNotifyServer ? VTLS_SERVER_WINDOW_NAME : VTLS_CLIENT_WINDOW_NAME;
}

void CFsNotifyManager::OnWindowMade(HWND window) noexcept {
    // Content replies come to this window.
    g_ContentClient.SetReplyWindow(window);
}

void CFsNotifyManager::OnFinalMessage(HWND window) noexcept {
    g_ContentClient.SetReplyWindow(nullptr);
    CThreadedWindow::OnFinalMessage(window);
}

bool CFsNotifyManager::ProcessOwnMessage(HWND /*window*/, UINT message, WPARAM wParam, LPARAM lParam,
                                         LRESULT& result) noexcept {
    switch (message) {
        case WM_COPYDATA:
            result = OnCopyData(reinterpret_cast<HWND>(wParam), reinterpret_cast<const COPYDATASTRUCT*>(lParam));
            return true;
        case WM_TIMER:
            result = OnTimer(static_cast<UINT_PTR>(wParam));
            return true;
        case WM_VTLS_UPDATEICONS:
            result = OnUpdateIcons(reinterpret_cast<LPITEMIDLIST>(lParam));
            return true;
        default:
            return false;
    }
}

LRESULT CFsNotifyManager::OnCopyData(HWND sender, const COPYDATASTRUCT* data) noexcept {
    if (data == nullptr) {
        return TRUE;
    }
    if (data->dwData == VTLS_COPYDATA_CONTENT) {
        g_ContentClient.KeepReply(sender, *data);
    } else if (data->dwData == VTLS_COPYDATA_CHANGES && data->cbData != 0) {
        // From another process: checked whole, and dropped whole if malformed.
        auto* batch = static_cast<std::uint8_t*>(data->lpData);
        if (notify::ValidateBatch(batch, data->cbData)) {
            DeliverReceivedBatch(batch, data->cbData);
        }
    }
    return TRUE;
}

void CFsNotifyManager::DeliverReceivedBatch(std::uint8_t* batch, std::size_t size) noexcept {
    // The message's bytes end with this handler, and a listener that lets its
    // bound pass may go on reading: listeners read a copy.
    DeliveryBlock* block = DeliveryBlock::Copy(batch, size, itemid::LoadU32(batch + notify::kBatchCountOffset));
    if (block == nullptr) {
        return;
    }
    if (m_deliveryDepth > 0) {
        // A delivery under way waits on a listener and took this message meanwhile;
        // delivering it now would overtake the records still to come of the earlier
        // batch. It waits its turn.
        if (!m_deferredBatches.PushBack(block)) {
            DeliveryBlock::Release(block, HeapVector<HWND>());
        }
        return;
    }
    ++m_deliveryDepth;
    DeliverBatch(block);
    while (!m_deferredBatches.empty()) {
        DeliveryBlock* next = m_deferredBatches[0];
        m_deferredBatches.Erase(0);
        DeliverBatch(next);
    }
    --m_deliveryDepth;
}

LRESULT CFsNotifyManager::OnTimer(UINT_PTR timerId) noexcept {
    if (timerId == kFlushTimerId) {
        // Killed first: a post during the flush sets it again for its own records.
        KillTimer(Handle(), kFlushTimerId);
        // The worker never waits for another flush: other processes' batches
        // would wait behind it.
        Flush(FlushMode::kHandOver);
    }
    return 0;
}

void CFsNotifyManager::SetFlushTimer() noexcept {
    // Setting it again replaces the pending timer: posts closer than the delay
    // apart are flushed once. Without a window there is nothing to aim it at (a
    // null window would start a timer of the calling thread that never ends).
    if (const HWND window = Handle()) {
        SetTimer(window, kFlushTimerId, kFlushDelayMs, nullptr);
    }
}

}  // namespace vtls
