// Drives examples/browse_dialog from another process through its window
// messages and prints what its controls hold.
//
//   browse_dialog_driver find                 the dialog's process and window rectangle
//   browse_dialog_driver open NAME...         expand the tree along NAME... from the root, select the last
//   browse_dialog_driver dump                 the expanded tree (with image numbers), the list's rows, the status text
//   browse_dialog_driver key VK               a key pressed and released in the list
//   browse_dialog_driver wait TEXT            dump once a list row's name is TEXT (at most 30 s)
//   browse_dialog_driver close                WM_CLOSE, then the dialog process's exit code
//
// The tree and list messages carry pointers, and neither Windows nor Wine 8
// copies what a common control's message points to between processes: the
// structure and its text buffer are placed in the dialog's own address space
// (VirtualAllocEx) and copied in and out with Write/ReadProcessMemory. Every
// send has a time limit; every text read back is cut at its buffer's end.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/unique_resource.h"
#include "browse_dialog.h"

namespace {

constexpr DWORD kSendTimeoutMs = 15000;
constexpr DWORD kWaitMs = 30000;
constexpr int kTextChars = 512;

struct Dialog {
    HWND window = nullptr;
    HWND tree = nullptr;
    HWND list = nullptr;
    HWND status = nullptr;
    DWORD processId = 0;
    vtls::UniqueHandle process;
};

// A block in the dialog's process: a structure followed by its text buffer,
// which starts empty (committed pages come zeroed).
class Remote {
public:
    Remote(HANDLE process, std::size_t size)
        : process_(process), at_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)) {}
    ~Remote() {
        if (at_ != nullptr) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    }
    Remote(const Remote&) = delete;
    Remote& operator=(const Remote&) = delete;
    bool Made() const { return at_ != nullptr; }
    BYTE* At(std::size_t offset) const { return static_cast<BYTE*>(at_) + offset; }
    bool Write(std::size_t offset, const void* data, std::size_t size) const {
        SIZE_T done = 0;
        return at_ != nullptr && WriteProcessMemory(process_, At(offset), data, size, &done) && done == size;
    }
    std::wstring Text(std::size_t offset) const {
        wchar_t text[kTextChars + 1] = {};
        SIZE_T done = 0;
        if (at_ == nullptr || !ReadProcessMemory(process_, At(offset), text, kTextChars * sizeof(wchar_t), &done)) {
            return L"<unreadable>";
        }
        text[kTextChars] = 0;
        return text;
    }

private:
    HANDLE process_;
    void* at_;
};

constexpr std::size_t kTextOffset = 256;  // past any of the structures below

bool Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result = nullptr) {
    DWORD_PTR answer = 0;
    const bool sent = SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &answer) != 0;
    if (result != nullptr) *result = static_cast<LRESULT>(answer);
    return sent;
}

bool FindDialog(Dialog& dialog) {
    dialog.window = FindWindowW(L"#32770", L"Browse OPC Servers");
    if (dialog.window == nullptr) return false;
    dialog.tree = GetDlgItem(dialog.window, IDC_TREE);
    dialog.list = GetDlgItem(dialog.window, IDC_LIST);
    dialog.status = GetDlgItem(dialog.window, IDC_STATUS);
    GetWindowThreadProcessId(dialog.window, &dialog.processId);
    dialog.process.reset(OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                         PROCESS_QUERY_INFORMATION | SYNCHRONIZE,
                                     FALSE, dialog.processId));
    return dialog.tree != nullptr && dialog.list != nullptr && dialog.status != nullptr && dialog.process;
}

struct TreeNode {
    std::wstring text;
    UINT state = 0;
    int image = -1;
};

TreeNode ReadTreeItem(const Dialog& dialog, HTREEITEM item) {
    const Remote remote(dialog.process.get(), kTextOffset + (kTextChars + 1) * sizeof(wchar_t));
    TVITEMW query{};
    query.mask = TVIF_TEXT | TVIF_STATE | TVIF_IMAGE;
    query.hItem = item;
    query.stateMask = TVIS_EXPANDED | TVIS_SELECTED;
    query.pszText = reinterpret_cast<wchar_t*>(remote.At(kTextOffset));
    query.cchTextMax = kTextChars;
    TreeNode node;
    LRESULT ok = 0;
    if (!remote.Write(0, &query, sizeof(query)) || !Send(dialog.tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote.At(0)), &ok) || !ok) {
        node.text = L"<no answer>";
        return node;
    }
    TVITEMW answer{};
    SIZE_T done = 0;
    if (ReadProcessMemory(dialog.process.get(), remote.At(0), &answer, sizeof(answer), &done)) {
        node.state = answer.state;
        node.image = answer.iImage;
    }
    node.text = remote.Text(kTextOffset);
    return node;
}

HTREEITEM Next(const Dialog& dialog, UINT relation, HTREEITEM item) {
    LRESULT result = 0;
    Send(dialog.tree, TVM_GETNEXTITEM, relation, reinterpret_cast<LPARAM>(item), &result);
    return reinterpret_cast<HTREEITEM>(result);
}

void DumpTree(const Dialog& dialog, HTREEITEM first, int depth) {
    for (HTREEITEM item = first; item != nullptr; item = Next(dialog, TVGN_NEXT, item)) {
        const TreeNode node = ReadTreeItem(dialog, item);
        std::printf("tree %*s%ls  #%d%s\n", 2 * depth, "", node.text.c_str(), node.image,
                    node.state & TVIS_SELECTED ? "  [selected]" : "");
        if (node.state & TVIS_EXPANDED) DumpTree(dialog, Next(dialog, TVGN_CHILD, item), depth + 1);
    }
}

std::wstring ListText(const Dialog& dialog, int row, int column) {
    const Remote remote(dialog.process.get(), kTextOffset + (kTextChars + 1) * sizeof(wchar_t));
    LVITEMW query{};
    query.iSubItem = column;
    query.pszText = reinterpret_cast<wchar_t*>(remote.At(kTextOffset));
    query.cchTextMax = kTextChars;
    if (!remote.Write(0, &query, sizeof(query)) || !Send(dialog.list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote.At(0)))) {
        return L"<no answer>";
    }
    return remote.Text(kTextOffset);
}

std::vector<std::wstring> ListNames(const Dialog& dialog) {
    LRESULT count = 0;
    Send(dialog.list, LVM_GETITEMCOUNT, 0, 0, &count);
    std::vector<std::wstring> names;
    for (int row = 0; row < count && row < 1000; ++row) names.push_back(ListText(dialog, row, 0));
    return names;
}

void Dump(const Dialog& dialog) {
    DumpTree(dialog, Next(dialog, TVGN_ROOT, nullptr), 0);
    const std::vector<std::wstring> names = ListNames(dialog);
    for (std::size_t row = 0; row < names.size(); ++row) {
        std::printf("row %ls | %ls | %ls\n", names[row].c_str(), ListText(dialog, static_cast<int>(row), 1).c_str(),
                    ListText(dialog, static_cast<int>(row), 2).c_str());
    }
    const Remote remote(dialog.process.get(), (kTextChars + 1) * sizeof(wchar_t));
    LRESULT length = 0;
    Send(dialog.status, SB_GETTEXTLENGTHW, 0, 0, &length);
    if (LOWORD(length) < kTextChars && remote.Made() && Send(dialog.status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(remote.At(0)))) {
        std::printf("status %ls\n", remote.Text(0).c_str());
    }
}

// Expands each named child in turn from the root, then selects the last.
bool Open(const Dialog& dialog, int count, wchar_t** names) {
    HTREEITEM item = nullptr;
    for (int i = 0; i < count; ++i) {
        HTREEITEM child = item == nullptr ? Next(dialog, TVGN_ROOT, nullptr) : Next(dialog, TVGN_CHILD, item);
        while (child != nullptr && ReadTreeItem(dialog, child).text != names[i]) child = Next(dialog, TVGN_NEXT, child);
        if (child == nullptr) {
            std::fprintf(stderr, "open: no tree item '%ls' at level %d\n", names[i], i);
            return false;
        }
        item = child;
        if (!Send(dialog.tree, TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item))) return false;
    }
    return item != nullptr && Send(dialog.tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring command = argc > 1 ? argv[1] : L"";
    Dialog dialog;
    const ULONGLONG start = GetTickCount64();
    while (!FindDialog(dialog)) {
        if (GetTickCount64() - start > kWaitMs) {
            std::fprintf(stderr, "no browse dialog window within %lu ms\n", kWaitMs);
            return 1;
        }
        Sleep(100);
    }
    if (command == L"find") {
        RECT rect{};
        GetWindowRect(dialog.window, &rect);
        std::printf("process %lu rect %ld %ld %ld %ld\n", dialog.processId, rect.left, rect.top, rect.right,
                    rect.bottom);
        return 0;
    }
    if (command == L"open" && argc > 2) return Open(dialog, argc - 2, argv + 2) ? 0 : 1;
    if (command == L"dump") {
        Dump(dialog);
        return 0;
    }
    if (command == L"wait" && argc == 3) {
        for (;;) {
            for (const std::wstring& name : ListNames(dialog)) {
                if (name == argv[2]) {
                    Dump(dialog);
                    return 0;
                }
            }
            if (GetTickCount64() - start > kWaitMs) {
                std::fprintf(stderr, "no list row '%ls' within %lu ms\n", argv[2], kWaitMs);
                Dump(dialog);
                return 1;
            }
            Sleep(100);
        }
    }
    if (command == L"key" && argc == 3) {
        const auto key = static_cast<WPARAM>(_wtoi(argv[2]));
        return PostMessageW(dialog.list, WM_KEYDOWN, key, 1) && PostMessageW(dialog.list, WM_KEYUP, key, 0xC0000001)
                   ? 0
                   : 1;
    }
    if (command == L"close") {
        PostMessageW(dialog.window, WM_CLOSE, 0, 0);
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(dialog.process.get(), kWaitMs) != WAIT_OBJECT_0 ||
            !GetExitCodeProcess(dialog.process.get(), &code)) {
            std::fprintf(stderr, "the dialog did not end within %lu ms\n", kWaitMs);
            return 1;
        }
        std::printf("exit code %lu\n", code);
        return code == 0 ? 0 : 1;
    }
    std::fprintf(stderr, "usage: browse_dialog_driver find | open NAME... | dump | wait TEXT | key VK | close\n");
    return 2;
}
