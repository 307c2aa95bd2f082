// vtls_role_probe: takes a role of the library in a process of its own, on
// command from a test, and reports what it saw when told to leave.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <optional>
#include <string>

#include "VantrelSh.h"
#include "frame/unique_resource.h"

namespace {

// ---- Roles --------------------------------------------------------------------

// How the server's content callback answers; chosen on the command line.
enum class Answer { kEcho, kRefuse, kFail, kNull, kMalformed, kSized };
Answer g_answer = Answer::kEcho;
LONG g_calls = 0;
LONG g_rootCalls = 0;

// A one-item child named "child<value>", so the test can build the same answer.
HGLOBAL EchoAnswer(LPCITEMIDLIST parent, DWORD value) {
    const GUID guid{value, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
    const std::wstring name = L"child" + std::to_wstring(value);
    LPITEMIDLIST child = VtlsCreateID(name.c_str(), 5, value, &guid, 0, nullptr);
    LPCITEMIDLIST children[] = {child};
    const HGLOBAL block = SHCreateCIDA(parent, 1, children);
    VtlsSHFree(child);
    return block;
}

// A packed CIDA of exactly `total` bytes: one child list made of items of at
// most 65,534 bytes each (total >= 16).
HGLOBAL SizedAnswer(DWORD total) {
    const HGLOBAL block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, total);
    if (block == nullptr) return nullptr;
    auto* bytes = static_cast<std::uint8_t*>(block);
    const auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(bytes + at, &v, 4); };
    put32(0, 1);
    put32(4, 0);
    put32(8, 12);
    std::size_t remaining = total - 12 - 2;  // the list's items, then its terminator
    std::size_t at = 12;
    while (remaining > 0) {
        std::size_t item = remaining > 65534 ? 65534 : remaining;
        if (remaining - item == 1) item -= 1;  // never leave a 1-byte item
        const auto cb = static_cast<std::uint16_t>(item);
        std::memcpy(bytes + at, &cb, 2);
        at += item;
        remaining -= item;
    }
    return block;
}

HRESULT WINAPI ContentCallback(LPCITEMIDLIST parent, DWORD value, HGLOBAL* content) {
    InterlockedIncrement(&g_calls);
    if (parent == nullptr) InterlockedIncrement(&g_rootCalls);
    switch (g_answer) {
        case Answer::kEcho: *content = EchoAnswer(parent, value); return *content ? S_OK : E_OUTOFMEMORY;
        case Answer::kRefuse: return S_FALSE;
        case Answer::kFail: return E_ACCESSDENIED;
        case Answer::kNull: *content = nullptr; return S_OK;
        case Answer::kMalformed: {
            // A count of two children with one offset outside the block.
            *content = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, 16);
            auto* bytes = static_cast<std::uint32_t*>(*content);
            bytes[0] = 2;
            bytes[2] = 0x7FFFFFF0;
            return S_OK;
        }
        case Answer::kSized: *content = SizedAnswer(value); return S_OK;
    }
    return E_UNEXPECTED;
}

std::optional<Answer> ParseAnswer(const wchar_t* text) {
    const struct {
        const wchar_t* name;
        Answer answer;
    } answers[] = {{L"echo", Answer::kEcho}, {L"refuse", Answer::kRefuse}, {L"fail", Answer::kFail},
                   {L"null", Answer::kNull}, {L"malformed", Answer::kMalformed}, {L"sized", Answer::kSized}};
    for (const auto& entry : answers) {
        if (std::wcscmp(text, entry.name) == 0) return entry.answer;
    }
    return std::nullopt;
}

// Takes a role, signals `ready`, holds the role until `quit` is signalled, then
// leaves it and reports what it saw.
int HoldRole(bool server, const wchar_t* ready, const wchar_t* quit) {
    const HRESULT hr = server ? VtlsSrvInitialize(ContentCallback) : VtlsCliInitialize();
    std::printf("initialize 0x%08lX\n", static_cast<unsigned long>(hr));
    std::fflush(stdout);
    const vtls::UniqueHandle readyEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready));
    const vtls::UniqueHandle quitEvent(OpenEventW(SYNCHRONIZE, FALSE, quit));
    if (!readyEvent || !quitEvent || FAILED(hr)) {
        return 1;
    }
    SetEvent(readyEvent.get());
    const DWORD waited = WaitForSingleObject(quitEvent.get(), 60000);
    VtlsTerminate();
    std::printf("quit-signalled %d\n", waited == WAIT_OBJECT_0 ? 1 : 0);
    std::printf("calls %ld\n", g_calls);
    std::printf("root-calls %ld\n", g_rootCalls);
    // After leaving the role this process holds none of the library's windows.
    const bool channel = FindWindowW(VTLS_SRVCHANNEL_CLASS, nullptr) != nullptr &&
                         [] {
                             DWORD pid = 0;
                             GetWindowThreadProcessId(FindWindowW(VTLS_SRVCHANNEL_CLASS, nullptr), &pid);
                             return pid == GetCurrentProcessId();
                         }();
    std::printf("own-channel-window-after %d\n", channel ? 1 : 0);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc >= 5 && std::wcscmp(argv[1], L"server") == 0) {
        const auto answer = ParseAnswer(argv[4]);
        if (!answer) return 2;
        g_answer = *answer;
        return HoldRole(true, argv[2], argv[3]);
    }
    if (argc >= 4 && std::wcscmp(argv[1], L"client") == 0) {
        return HoldRole(false, argv[2], argv[3]);
    }
    std::fprintf(stderr,
                 "usage: vtls_role_probe server <ready-event> <quit-event> echo|refuse|fail|null|malformed|sized\n"
                 "       vtls_role_probe client <ready-event> <quit-event>\n");
    return 2;
}
