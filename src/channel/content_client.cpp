#include "channel/content_client.h"

#include <cstring>

#include "VantrelSh.h"
#include "base/bounded_send.h"
#include "channel/portable/content_message.h"
#include "itemid/id_lists.h"

namespace vtls {
namespace {

// One request of this process at a time; a second waits this long.
constexpr DWORD kAdmissionWaitMs = 1000;

}  // namespace

bool CContentClient::Open() noexcept {
    __atomic_store_n(&m_bOpen, TRUE, __ATOMIC_RELEASE);
    return true;
}

void CContentClient::SetReplyWindow(HWND window) noexcept { __atomic_store_n(&m_replyWindow, window, __ATOMIC_RELEASE); }

void CContentClient::Close() noexcept {
    SetReplyWindow(nullptr);
    __atomic_store_n(&m_bOpen, FALSE, __ATOMIC_RELEASE);
    ScopedLock lock(m_lock);
    m_pReply.reset();
}

void CContentClient::KeepReply(HWND sender, const COPYDATASTRUCT& data) noexcept {
    // With cbData 0 the pointer may be stale and is not read.
    const auto* reply = data.cbData == 0 ? nullptr : static_cast<const std::uint8_t*>(data.lpData);
    ScopedLock lock(m_lock);
    // Taken only while a request is in flight, from the window it was sent to,
    // whole, and about the folder asked for: anything else (a late answer to an
    // abandoned request about another folder, a forgery) is dropped.
    if (!m_bAwaitingReply || sender != m_requestServer || reply == nullptr ||
        !channel::ReplyAnswers(reply, data.cbData, m_requestFolder, m_requestFolderSize)) {
        return;
    }
    UniqueCoTaskMem copy(CoTaskMemAlloc(data.cbData));
    if (!copy) {
        return;
    }
    std::memcpy(copy.get(), reply, data.cbData);
    // The server answers its requests one after another, each reply sent before
    // the request returns: the last reply before our request returned is ours,
    // one that came earlier was the late answer to an abandoned request.
    m_pReply = std::move(copy);
}

bool CContentClient::Admit() noexcept {
    const DWORD start = GetTickCount();
    AcquireSRWLockExclusive(&m_admissionLock);
    bool admitted = true;
    while (m_bAdmitted) {
        const DWORD waited = GetTickCount() - start;
        if (waited >= kAdmissionWaitMs ||
            (!SleepConditionVariableSRW(&m_admissionFreed, &m_admissionLock, kAdmissionWaitMs - waited, 0) &&
             GetLastError() == ERROR_TIMEOUT)) {
            admitted = !m_bAdmitted;
            break;
        }
    }
    if (admitted) {
        m_bAdmitted = TRUE;
    }
    ReleaseSRWLockExclusive(&m_admissionLock);
    return admitted;
}

void CContentClient::EndAdmission() noexcept {
    AcquireSRWLockExclusive(&m_admissionLock);
    m_bAdmitted = FALSE;
    ReleaseSRWLockExclusive(&m_admissionLock);
    WakeConditionVariable(&m_admissionFreed);
}

void CContentClient::BeginRequest(HWND server, const std::uint8_t* folder, std::size_t folderSize) noexcept {
    ScopedLock lock(m_lock);
    m_bAwaitingReply = TRUE;
    m_requestServer = server;
    m_requestFolder = folder;
    m_requestFolderSize = folderSize;
    m_pReply.reset();
}

UniqueCoTaskMem CContentClient::EndRequest() noexcept {
    // Whatever came, the request is over: a reply that arrives from now on is
    // late and is dropped.
    ScopedLock lock(m_lock);
    m_bAwaitingReply = FALSE;
    m_requestServer = nullptr;
    m_requestFolder = nullptr;
    m_requestFolderSize = 0;
    return std::move(m_pReply);
}

HRESULT CContentClient::GetContent(LPCITEMIDLIST folder, DWORD value, CIDA** content) noexcept {
    *content = nullptr;
    const HWND replyWindow = __atomic_load_n(&m_replyWindow, __ATOMIC_ACQUIRE);
    if (!__atomic_load_n(&m_bOpen, __ATOMIC_ACQUIRE) || !Admit()) {
        return E_FAIL;
    }
    HRESULT hr = E_FAIL;
    const std::size_t listSize = GetIDListSize(folder);
    const UniqueCoTaskMem request(CoTaskMemAlloc(channel::ContentRequestSize(listSize)));
    if (!request) {
        hr = E_OUTOFMEMORY;
    } else if (const HWND server = FindWindowW(VTLS_SRVCHANNEL_CLASS, VTLS_SERVER_WINDOW_NAME)) {
        channel::WriteContentRequest(static_cast<std::uint8_t*>(request.get()), value, Bytes(folder), listSize);
        BeginRequest(server, Bytes(folder), listSize);
        COPYDATASTRUCT data{VTLS_COPYDATA_CONTENT, static_cast<DWORD>(channel::ContentRequestSize(listSize)),
                            request.get()};
        // The reply reaches the reply window, on its own thread, before the
        // server's handler returns. A refusal, a failure or no answer in time
        // fails the request, whatever reply came.
        const SendResult sent = SendBounded(server, WM_COPYDATA, reinterpret_cast<WPARAM>(replyWindow),
                                            reinterpret_cast<LPARAM>(&data), VTLS_CONTENT_TIMEOUT_MS);
        UniqueCoTaskMem reply = EndRequest();
        if (sent.outcome == SendOutcome::kAnswered && sent.result == S_OK && reply) {
            *content = static_cast<CIDA*>(reply.release());
            hr = S_OK;
        }
    }
    EndAdmission();
    return hr;
}

}  // namespace vtls

extern "C" HRESULT WINAPI VtlsGetContentInSync(LPCITEMIDLIST folder, DWORD value, CIDA** content) {
    if (content == nullptr) {
        return E_INVALIDARG;
    }
    return vtls::g_ContentClient.GetContent(folder, value, content);
}
