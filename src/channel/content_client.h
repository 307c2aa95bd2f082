// The client's side of content requests: one request of the process at a
// time, sent to the server channel, and the reply that answers it. Replies
// reach the process's notify window, which hands them here.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstddef>
#include <cstdint>

#include "base/critical_section.h"
#include "base/unique_resource.h"

namespace vtls {

class CContentClient {
public:
    // While the process holds a role: the window that receives the replies.
    [[nodiscard]] bool Open() noexcept;
    void SetReplyWindow(HWND window) noexcept;
    // Admits no more requests; releases any reply not taken.
    void Close() noexcept;

    // The content of a folder, asked of the server process (VtlsGetContentInSync).
    [[nodiscard]] HRESULT GetContent(LPCITEMIDLIST folder, DWORD value, CIDA** content) noexcept;

    // A content reply that reached the reply window, on that window's thread.
    void KeepReply(HWND sender, const COPYDATASTRUCT& data) noexcept;

private:
    // One request of the process at a time: true once this thread's request
    // may go, false when the one in flight did not end within the wait.
    [[nodiscard]] bool Admit() noexcept;
    void EndAdmission() noexcept;
    void BeginRequest(HWND server, const std::uint8_t* folder, std::size_t folderSize) noexcept;
    // Ends the request in flight; the reply kept for it, empty when none was.
    [[nodiscard]] UniqueCoTaskMem EndRequest() noexcept;

    CriticalSection m_lock;  // the request in flight and its reply
    // Admission without a kernel object: a request that finds none in flight
    // (the usual case) costs no call into the system, where a semaphore costs
    // two round trips to the Wine server per request. Locks and condition
    // variables of this kind hold nothing that needs freeing.
    BOOL m_bOpen = FALSE;  // atomic accesses
    SRWLOCK m_admissionLock = SRWLOCK_INIT;
    CONDITION_VARIABLE m_admissionFreed = CONDITION_VARIABLE_INIT;
    BOOL m_bAdmitted = FALSE;  // under m_admissionLock
    HWND m_replyWindow = nullptr;  // atomic accesses
    BOOL m_bAwaitingReply = FALSE;
    HWND m_requestServer = nullptr;
    const std::uint8_t* m_requestFolder = nullptr;  // the caller's list, valid while in flight
    std::size_t m_requestFolderSize = 0;
    UniqueCoTaskMem m_pReply;
};

extern CContentClient g_ContentClient;

}  // namespace vtls
