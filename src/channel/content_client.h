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
    // Open is false when the admission semaphore cannot be made.
    [[nodiscard]] bool Open() noexcept;
    void SetReplyWindow(HWND window) noexcept;
    // Releases the semaphore and any reply not taken.
    void Close() noexcept;

    // The content of a folder, asked of the server process (VtlsGetContentInSync).
    [[nodiscard]] HRESULT GetContent(LPCITEMIDLIST folder, DWORD value, CIDA** content) noexcept;

    // A content reply that reached the reply window, on that window's thread.
    void KeepReply(HWND sender, const COPYDATASTRUCT& data) noexcept;

private:
    void BeginRequest(HWND server, const std::uint8_t* folder, std::size_t folderSize) noexcept;
    // Ends the request in flight; the reply kept for it, empty when none was.
    [[nodiscard]] UniqueCoTaskMem EndRequest() noexcept;

    CriticalSection m_lock;  // the request in flight and its reply
    UniqueHandle m_hRequestSemaphore;
    HWND m_replyWindow = nullptr;  // atomic accesses
    BOOL m_bAwaitingReply = FALSE;
    HWND m_requestServer = nullptr;
    const std::uint8_t* m_requestFolder = nullptr;  // the caller's list, valid while in flight
    std::size_t m_requestFolderSize = 0;
    UniqueCoTaskMem m_pReply;
};

extern CContentClient g_ContentClient;

}  // namespace vtls
