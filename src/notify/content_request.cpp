// VtlsGetContentInSync: the content of a folder, asked of the server process.
#include <cstring>

#include "VantrelSh.h"
#include "channel/content_message.h"
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

void* CFsNotifyManager::TakeReply(DWORD& size) noexcept {
    ScopedLock lock(m_lock);
    void* reply = m_pReply;
    size = m_cbReply;
    if (reply != nullptr) {
        m_pReply = nullptr;
        m_cbReply = 0;
        m_bAwaitingReply = FALSE;
    }
    return reply;
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
        {
            ScopedLock lock(m_lock);
            m_bAwaitingReply = TRUE;
            CoTaskMemFree(m_pReply);
            m_pReply = nullptr;
            m_cbReply = 0;
        }
        COPYDATASTRUCT data{VTLS_COPYDATA_CONTENT, static_cast<DWORD>(channel::ContentRequestSize(listSize)),
                            request.memory};
        // The reply reaches the notify window, on its own thread, before this returns.
        SendMessageW(server, WM_COPYDATA, reinterpret_cast<WPARAM>(Handle()), reinterpret_cast<LPARAM>(&data));
        DWORD replySize = 0;
        CoTaskMemory reply{TakeReply(replySize)};
        // The caller gets only a CIDA that holds together inside what arrived.
        if (reply.memory != nullptr &&
            channel::PackedCidaSize(static_cast<const std::uint8_t*>(reply.memory), replySize).has_value()) {
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
