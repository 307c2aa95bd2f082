// VtlsGetContentInSync: the content of a folder, asked of the server process.
#include <cstring>
#include <utility>

#include "VantrelSh.h"
#include "base/bounded_send.h"
#include "channel/portable/content_message.h"
#include "itemid/id_lists.h"
#include "notify/fs_notify_manager.h"

namespace vtls {
namespace {

// One request of this process at a time; a second waits this long.
constexpr DWORD kAdmissionWaitMs = 1000;

struct CoTaskMemory {
    void* memory = nullptr;
    ~CoTaskMemory() { CoTaskMemFree(memory); }
};

}  // namespace

void CFsNotifyManager::BeginRequest(HWND server, const std::uint8_t* folder, std::size_t folderSize) noexcept {
    ScopedLock lock(m_lock);
    m_bAwaitingReply = TRUE;
    m_requestServer = server;
    m_requestFolder = folder;
    m_requestFolderSize = folderSize;
    CoTaskMemFree(m_pReply);
    m_pReply = nullptr;
    m_cbReply = 0;
}

void* CFsNotifyManager::EndRequest(DWORD& size) noexcept {
    // Whatever came, the request is over: a reply that arrives from now on is
    // late and is dropped.
    ScopedLock lock(m_lock);
    m_bAwaitingReply = FALSE;
    m_requestServer = nullptr;
    m_requestFolder = nullptr;
    m_requestFolderSize = 0;
    size = m_cbReply;
    m_cbReply = 0;
    return std::exchange(m_pReply, nullptr);
}

HRESULT CFsNotifyManager::GetContent(LPCITEMIDLIST folder, DWORD value, CIDA** content) noexcept {
    *content = nullptr;
    const HANDLE semaphore = m_hRequestSemaphore.get();
    if (semaphore == nullptr || WaitForSingleObject(semaphore, kAdmissionWaitMs) != WAIT_OBJECT_0) {
        return E_FAIL;
    }
    HRESULT hr = E_FAIL;
    const std::size_t listSize = GetIDListSize(folder);
    CoTaskMemory request{CoTaskMemAlloc(channel::ContentRequestSize(listSize))};
    if (request.memory == nullptr) {
        hr = E_OUTOFMEMORY;
    } else if (const HWND server = FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME)) {
        channel::WriteContentRequest(static_cast<std::uint8_t*>(request.memory), value, Bytes(folder), listSize);
        BeginRequest(server, Bytes(folder), listSize);
        COPYDATASTRUCT data{VTLS_COPYDATA_CONTENT, static_cast<DWORD>(channel::ContentRequestSize(listSize)),
                            request.memory};
        // The reply reaches the notify window, on its own thread, before the
        // server's handler returns. A refusal, a failure or no answer in time
        // fails the request, whatever reply came.
        const SendResult sent = SendBounded(server, WM_COPYDATA, reinterpret_cast<WPARAM>(Handle()),
                                            reinterpret_cast<LPARAM>(&data), VTLS_CONTENT_TIMEOUT_MS);
        DWORD replySize = 0;
        CoTaskMemory reply{EndRequest(replySize)};
        if (sent.outcome == SendOutcome::kAnswered && sent.result == S_OK && reply.memory != nullptr) {
            *content = static_cast<CIDA*>(reply.memory);
            reply.memory = nullptr;
            hr = S_OK;
        }
    }
    ReleaseSemaphore(semaphore, 1, nullptr);
    return hr;
}

}  // namespace vtls

extern "C" HRESULT WINAPI VtlsGetContentInSync(LPCITEMIDLIST folder, DWORD value, CIDA** content) {
    if (content == nullptr) {
        return E_INVALIDARG;
    }
    return vtls::g_FsNotifyManager.GetContent(folder, value, content);
}
