// A dialog that browses the OPC namespace of the server process.
//
//   browse_dialog
//
// Takes the client role and shows what the server process (vtls serve, say)
// answers: a tree of its folders, filled with VtlsGetContentInSync as branches
// are expanded, and a list of the selected folder's entries with their kinds
// and data types. The dialog window is a change listener: a change posted for a
// folder it shows (vtls notify updatedir --path ...) has that folder asked
// again, a rename renames the entry in place. While the server does not answer,
// the folder shows an error row and is asked again every two seconds.
//
// Keys: arrows, +, - and * in the tree; Tab between tree and list; Enter in the
// list opens a folder, Backspace goes up; F5 asks again; Esc closes.
#include <windows.h>
#include <commctrl.h>
#include <windowsx.h>

#include <VantrelSh.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "browse_dialog.h"

namespace {

// What the item types and data mean is the server's choice; these are the
// ones of vtls serve. A server's GUID is its class id; an item's data its
// VARTYPE. Every type but an item is a folder.
constexpr INT kTypeHost = 2;
constexpr INT kTypeBranch = 5;
constexpr INT kTypeItem = 6;
constexpr INT kTypeServer = 9;

constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT kRetryMs = 2000;
// Changes are copied in the listener and handled after it has returned: a
// content request made inside the delivery would wait for the library's own
// notify thread, which waits for the listener.
constexpr UINT WM_APP_CHANGES = WM_APP + 1;
// Bounds for lists that arrive with a change.
constexpr std::size_t kMaxListBytes = 64 * 1024;

using Bytes = std::vector<BYTE>;

struct TaskMemFree {
    void operator()(CIDA* cida) const noexcept { CoTaskMemFree(cida); }
};
using Answer = std::unique_ptr<CIDA, TaskMemFree>;
struct ImageListDestroy {
    void operator()(HIMAGELIST list) const noexcept { ImageList_Destroy(list); }
};
using ImageList = std::unique_ptr<std::remove_pointer_t<HIMAGELIST>, ImageListDestroy>;
struct IconDestroy {
    void operator()(HICON icon) const noexcept { DestroyIcon(icon); }
};
using Icon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroy>;

// The role, left however the program leaves WinMain.
struct ClientRole {
    ClientRole() : result(VtlsCliInitialize()) {}
    ~ClientRole() { VtlsTerminate(); }
    ClientRole(const ClientRole&) = delete;
    ClientRole& operator=(const ClientRole&) = delete;
    const HRESULT result;
};

template <typename T>
T Load(const BYTE* at) {
    T value;
    std::memcpy(&value, at, sizeof(value));  // items are packed: nothing in them is aligned
    return value;
}

// The bytes of a list up to its terminator (not included); empty when it does
// not end within the bound.
Bytes ListItems(LPCITEMIDLIST list) {
    const auto* start = reinterpret_cast<const BYTE*>(list);
    std::size_t size = 0;
    while (list != nullptr && size + 2 <= kMaxListBytes) {
        const std::uint16_t cb = Load<std::uint16_t>(start + size);
        if (cb == 0) return Bytes(start, start + size);
        if (cb < 2 || size + cb > kMaxListBytes) break;
        size += cb;
    }
    return {};
}

// Offset of the last item in a list's items, or npos for none.
std::size_t LastItem(const Bytes& items) {
    std::size_t last = std::string::npos;
    for (std::size_t at = 0; at + 2 <= items.size(); at += Load<std::uint16_t>(&items[at])) last = at;
    return last;
}

// One entry of a folder, read from the library's item format: signature at 2,
// kind at 10, type at 14, GUID at 18, data at 34, UTF-16 name from 38.
struct Entry {
    Bytes item;  // the item's bytes, as the server sent them
    std::wstring name;
    INT type = 0;
    DWORD data = 0;
    GUID guid{};
    bool IsFolder() const { return type != kTypeItem; }
};

bool ReadEntry(const BYTE* item, std::size_t size, Entry& entry) {
    if (size < 42 || Load<std::uint32_t>(item + 2) != VTLS_ITEM_SIGNATURE ||
        Load<std::int32_t>(item + 10) != VTLS_ITEM_KIND_REAL) {
        return false;
    }
    entry.item.assign(item, item + size);
    entry.type = Load<INT>(item + 14);
    entry.guid = Load<GUID>(item + 18);
    entry.data = Load<DWORD>(item + 34);
    entry.name.clear();
    for (std::size_t at = 38; at + 2 <= size; at += 2) {
        const auto unit = static_cast<wchar_t>(Load<std::uint16_t>(item + at));
        if (unit == 0) return true;
        entry.name += unit;
    }
    return false;  // the name does not end inside the item
}

const wchar_t* KindName(INT type) {
    switch (type) {
        case kTypeHost: return L"Host";
        case kTypeServer: return L"OPC server";
        case kTypeBranch: return L"Branch";
        case kTypeItem: return L"Item";
        default: return L"Folder";
    }
}

std::wstring DataTypeName(const Entry& entry) {
    if (entry.IsFolder()) return L"";
    switch (entry.data) {
        case VT_BOOL: return L"VT_BOOL";
        case VT_I2: return L"VT_I2";
        case VT_I4: return L"VT_I4";
        case VT_UI2: return L"VT_UI2";
        case VT_UI4: return L"VT_UI4";
        case VT_R4: return L"VT_R4";
        case VT_R8: return L"VT_R8";
        case VT_BSTR: return L"VT_BSTR";
        case VT_DATE: return L"VT_DATE";
        default: return L"VARTYPE " + std::to_wstring(entry.data);
    }
}

// A folder of the tree: its list from the root and what the server answered.
struct Folder {
    Bytes items;               // the list from the root, without the terminator
    std::vector<Entry> entries;
    bool loaded = false;
    HRESULT error = S_OK;      // the last request's failure, asked again by the timer
};

class BrowseDialog {
public:
    explicit BrowseDialog(HINSTANCE instance) : instance_(instance) {}

    static INT_PTR CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) SetWindowLongPtrW(window, DWLP_USER, lParam);
        auto* self = reinterpret_cast<BrowseDialog*>(GetWindowLongPtrW(window, DWLP_USER));
        return self != nullptr ? self->Handle(window, message, wParam, lParam) : FALSE;
    }
    bool ClosedCleanly() const { return revoked_ == S_OK; }

private:
    struct Change {
        LONG event;
        Bytes list1;
        Bytes list2;
    };

    INT_PTR Handle(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        switch (message) {
            case WM_INITDIALOG: OnInit(window); return TRUE;
            case WM_SIZE: Layout(); return TRUE;
            case WM_NOTIFY: return OnNotify(*reinterpret_cast<NMHDR*>(lParam));
            case WM_TIMER: if (wParam == kRetryTimer) Retry(); return TRUE;
            case WM_VTLS_FSNOTIFY: OnChange(*reinterpret_cast<const VTLSCHANGEINFO*>(lParam)); return TRUE;
            case WM_APP_CHANGES: HandleChanges(); return TRUE;
            case WM_COMMAND:
                // The dialog manager turns Enter into IDOK and Esc into IDCANCEL.
                if (LOWORD(wParam) == IDCANCEL) EndDialog(window, IDCANCEL);
                if (LOWORD(wParam) == IDOK && GetFocus() == list_) Open(ListView_GetNextItem(list_, -1, LVNI_SELECTED));
                if (LOWORD(wParam) == IDOK && GetFocus() == tree_) {
                    TreeView_Expand(tree_, TreeView_GetSelection(tree_), TVE_TOGGLE);
                }
                return TRUE;
            case WM_DESTROY:
                KillTimer(window, kRetryTimer);
                revoked_ = VtlsSHChangeNotifyRevoke(window);
                return TRUE;
            default: return FALSE;
        }
    }

    void OnInit(HWND window) {
        window_ = window;
        tree_ = GetDlgItem(window, IDC_TREE);
        list_ = GetDlgItem(window, IDC_LIST);
        status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                  window, reinterpret_cast<HMENU>(IDC_STATUS), instance_, nullptr);
        SendMessageW(window, WM_SETICON, ICON_BIG,
                     reinterpret_cast<LPARAM>(LoadIconW(instance_, MAKEINTRESOURCEW(IDI_NETWORK))));

        const int size = GetSystemMetrics(SM_CXSMICON);
        images_.reset(ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, 8, 8));
        for (int id = IDI_NETWORK; id <= IDI_ERROR_ROW; ++id) {
            const Icon icon(static_cast<HICON>(LoadImageW(instance_, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0)));
            ImageList_AddIcon(images_.get(), icon.get());
        }
        TreeView_SetImageList(tree_, images_.get(), TVSIL_NORMAL);
        ListView_SetImageList(list_, images_.get(), LVSIL_SMALL);
        ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT);
        const struct { const wchar_t* title; int width; } columns[] = {{L"Name", 150}, {L"Kind", 80}, {L"Data type", 70}};
        for (int i = 0; i < 3; ++i) {
            LVCOLUMNW column{};
            column.mask = LVCF_TEXT | LVCF_WIDTH;
            column.pszText = const_cast<wchar_t*>(columns[i].title);
            column.cx = columns[i].width;
            ListView_InsertColumn(list_, i, &column);
        }

        // Changes reach the listener windows of client-role processes.
        if (FAILED(VtlsSHChangeNotifyRegister(window))) SetStatus(L"Cannot listen for changes");

        // The root: the network, asked for with the empty list.
        TVINSERTSTRUCTW insert{};
        insert.hParent = TVI_ROOT;
        insert.hInsertAfter = TVI_LAST;
        insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
        insert.item.pszText = const_cast<wchar_t*>(L"OPC Network");
        insert.item.iImage = insert.item.iSelectedImage = 0;
        insert.item.cChildren = 1;
        const HTREEITEM root = TreeView_InsertItem(tree_, &insert);
        folders_[root] = Folder{};
        TreeView_Expand(tree_, root, TVE_EXPAND);
        TreeView_SelectItem(tree_, root);
        Layout();
    }

    void Layout() {
        if (status_ == nullptr) return;
        SendMessageW(status_, WM_SIZE, 0, 0);
        RECT client{};
        RECT bar{};
        GetClientRect(window_, &client);
        GetWindowRect(status_, &bar);
        const int margin = 6;
        const int height = client.bottom - (bar.bottom - bar.top) - 2 * margin;
        const int treeWidth = (client.right - 3 * margin) * 2 / 5;
        MoveWindow(tree_, margin, margin, treeWidth, height, TRUE);
        MoveWindow(list_, 2 * margin + treeWidth, margin, client.right - 3 * margin - treeWidth, height, TRUE);
    }

    INT_PTR OnNotify(const NMHDR& header) {
        if (header.hwndFrom == tree_) {
            switch (header.code) {
                case TVN_ITEMEXPANDINGW: {
                    const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
                    if (change.action & TVE_EXPAND) Request(change.itemNew.hItem, false);
                    return TRUE;
                }
                case TVN_SELCHANGEDW:
                    Request(reinterpret_cast<const NMTREEVIEWW&>(header).itemNew.hItem, false);
                    ShowSelected();
                    return TRUE;
                case TVN_DELETEITEMW:
                    folders_.erase(reinterpret_cast<const NMTREEVIEWW&>(header).itemOld.hItem);
                    return TRUE;
                case TVN_KEYDOWN: return OnKey(reinterpret_cast<const NMTVKEYDOWN&>(header).wVKey);
                default: return FALSE;
            }
        }
        if (header.hwndFrom == list_) {
            switch (header.code) {
                case LVN_ITEMACTIVATE: Open(reinterpret_cast<const NMITEMACTIVATE&>(header).iItem); return TRUE;
                case LVN_KEYDOWN: return OnKey(reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey);
                default: return FALSE;
            }
        }
        return FALSE;
    }

    INT_PTR OnKey(WORD key) {
        const HTREEITEM selected = TreeView_GetSelection(tree_);
        if (key == VK_F5 && selected != nullptr) {
            Request(selected, true);
            ShowSelected();
        } else if (key == VK_BACK && selected != nullptr && TreeView_GetParent(tree_, selected) != nullptr) {
            TreeView_SelectItem(tree_, TreeView_GetParent(tree_, selected));
        }
        return FALSE;
    }

    // Opens the folder of list row index: expands the selected branch and
    // selects that child in the tree.
    void Open(int index) {
        const HTREEITEM selected = TreeView_GetSelection(tree_);
        const auto found = folders_.find(selected);
        if (found == folders_.end() || index < 0 || static_cast<std::size_t>(index) >= found->second.entries.size() ||
            !found->second.entries[index].IsFolder()) {
            return;
        }
        const Bytes wanted = Child(found->second.items, found->second.entries[index].item);
        TreeView_Expand(tree_, selected, TVE_EXPAND);
        for (HTREEITEM child = TreeView_GetChild(tree_, selected); child != nullptr;
             child = TreeView_GetNextSibling(tree_, child)) {
            if (folders_[child].items == wanted) {
                TreeView_SelectItem(tree_, child);
                SetFocus(list_);
                return;
            }
        }
    }

    static Bytes Child(const Bytes& parent, const Bytes& item) {
        Bytes items = parent;
        items.insert(items.end(), item.begin(), item.end());
        return items;
    }

    // Asks the server for a folder's entries, once unless again is set, and
    // brings the tree's branch up to date with the answer.
    void Request(HTREEITEM node, bool again) {
        auto found = folders_.find(node);
        if (found == folders_.end() || (found->second.loaded && !again)) return;
        Bytes list = found->second.items;
        list.resize(list.size() + 2, 0);  // the terminator; the empty list is the root
        CIDA* received = nullptr;
        const HRESULT result = VtlsGetContentInSync(reinterpret_cast<LPCITEMIDLIST>(list.data()), 0, &received);
        const Answer answer(received);
        Folder& folder = found->second;
        folder.error = result;
        if (FAILED(result)) {
            // What the folder holds is unknown now: the list shows the error
            // row alone; the tree keeps its branches until the next answer.
            folder.entries.clear();
            SetTimer(window_, kRetryTimer, kRetryMs, nullptr);
            return;
        }
        // The library has checked that the answer's offsets and lists hold
        // together; entries of another format are left out.
        folder.entries.clear();
        const auto* base = reinterpret_cast<const BYTE*>(answer.get());
        for (UINT i = 1; i <= answer->cidl; ++i) {
            const UINT offset = Load<UINT>(base + offsetof(CIDA, aoffset) + 4 * i);
            const Bytes items = ListItems(reinterpret_cast<LPCITEMIDLIST>(base + offset));
            Entry entry;
            if (!items.empty() && ReadEntry(items.data(), Load<std::uint16_t>(items.data()), entry)) {
                entry.item = items;  // the child's whole list, relative to the folder
                folder.entries.push_back(std::move(entry));
            }
        }
        folder.loaded = true;
        SyncBranch(node);
    }

    // The tree's children of node become the folder entries of its answer:
    // those still there keep their state, new ones are inserted in order.
    void SyncBranch(HTREEITEM node) {
        const Folder& folder = folders_[node];
        std::vector<Bytes> wanted;
        for (const Entry& entry : folder.entries) {
            if (entry.IsFolder()) wanted.push_back(Child(folder.items, entry.item));
        }
        for (HTREEITEM child = TreeView_GetChild(tree_, node); child != nullptr;) {
            const HTREEITEM next = TreeView_GetNextSibling(tree_, child);
            bool keep = false;
            for (const Bytes& items : wanted) keep = keep || folders_[child].items == items;
            if (!keep) TreeView_DeleteItem(tree_, child);
            child = next;
        }
        HTREEITEM previous = TVI_FIRST;
        for (const Entry& entry : folders_[node].entries) {
            if (!entry.IsFolder()) continue;
            const Bytes items = Child(folders_[node].items, entry.item);
            HTREEITEM existing = nullptr;
            for (HTREEITEM child = TreeView_GetChild(tree_, node); child != nullptr && existing == nullptr;
                 child = TreeView_GetNextSibling(tree_, child)) {
                if (folders_[child].items == items) existing = child;
            }
            if (existing == nullptr) {
                TVINSERTSTRUCTW insert{};
                insert.hParent = node;
                insert.hInsertAfter = previous;
                insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN;
                insert.item.pszText = const_cast<wchar_t*>(entry.name.c_str());
                insert.item.iImage = insert.item.iSelectedImage = Image(entry);
                insert.item.cChildren = 1;
                existing = TreeView_InsertItem(tree_, &insert);
                folders_[existing].items = items;
            }
            previous = existing;
        }
    }

    // The row of the selected folder's entries, or its error.
    void ShowSelected() {
        // Refilled without drawing, then drawn once, at once.
        SetWindowRedraw(list_, FALSE);
        FillList();
        SetWindowRedraw(list_, TRUE);
        RedrawWindow(list_, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE | RDW_UPDATENOW);
    }

    void FillList() {
        ListView_DeleteAllItems(list_);
        const HTREEITEM selected = TreeView_GetSelection(tree_);
        const auto found = folders_.find(selected);
        if (found == folders_.end()) return;
        const Folder& folder = found->second;
        int row = 0;
        if (FAILED(folder.error)) {
            wchar_t code[16];
            wsprintfW(code, L"0x%08lX", static_cast<unsigned long>(folder.error));
            AddRow(row++, L"The server does not answer", L"Error", code, IDI_ERROR_ROW - IDI_NETWORK);
        }
        unsigned folders = 0;
        for (const Entry& entry : folder.entries) {
            AddRow(row++, entry.name.c_str(), KindName(entry.type), DataTypeName(entry).c_str(), Image(entry));
            folders += entry.IsFolder() ? 1 : 0;
        }
        std::wstring text = Path(selected) + L": ";
        if (FAILED(folder.error)) {
            text += L"no answer from the server; asking again every " + std::to_wstring(kRetryMs / 1000) + L" s";
        } else {
            text += std::to_wstring(folders) + L" folders, " + std::to_wstring(folder.entries.size() - folders) +
                    L" items";
        }
        SetStatus(text);
    }

    void AddRow(int row, const wchar_t* name, const wchar_t* kind, const wchar_t* type, int image) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_IMAGE;
        item.iItem = row;
        item.pszText = const_cast<wchar_t*>(name);
        item.iImage = image;
        ListView_InsertItem(list_, &item);
        ListView_SetItemText(list_, row, 1, const_cast<wchar_t*>(kind));
        ListView_SetItemText(list_, row, 2, const_cast<wchar_t*>(type));
    }

    std::wstring Path(HTREEITEM node) const {
        std::wstring path;
        for (; node != nullptr; node = TreeView_GetParent(tree_, node)) {
            wchar_t text[260] = L"";
            TVITEMW item{};
            item.mask = TVIF_TEXT;
            item.hItem = node;
            item.pszText = text;
            item.cchTextMax = 260;
            TreeView_GetItem(tree_, &item);
            path = path.empty() ? std::wstring(text) : text + (L"\\" + path);
        }
        return path;
    }

    void SetStatus(const std::wstring& text) {
        SendMessageW(status_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }

    // The image of an entry: a server's from its registered class if the
    // library finds one, else the dialog's own for its type.
    int Image(const Entry& entry) {
        if (entry.type == kTypeServer) {
            wchar_t key[40];
            StringFromGUID2(entry.guid, key, 40);
            const auto cached = classImages_.find(key);
            if (cached != classImages_.end()) return cached->second;
            int image = IDI_SERVER - IDI_NETWORK;
            wchar_t path[MAX_PATH];
            INT index = 0;
            HICON small = nullptr;
            if (SHGetIconLocationFromClass(entry.guid, path, MAX_PATH, &index) == S_OK &&
                SHExtractIcon(path, index, nullptr, &small) == S_OK) {
                const Icon icon(small);
                image = ImageList_AddIcon(images_.get(), icon.get());
            }
            return classImages_[key] = image;
        }
        switch (entry.type) {
            case kTypeHost: return IDI_HOST - IDI_NETWORK;
            case kTypeItem: return IDI_ITEM - IDI_NETWORK;
            default: return IDI_BRANCH - IDI_NETWORK;
        }
    }

    // Runs on this thread, sent by the library: copy, and act once it has returned.
    void OnChange(const VTLSCHANGEINFO& change) {
        changes_.push_back({change.event, ListItems(change.list1), ListItems(change.list2)});
        PostMessageW(window_, WM_APP_CHANGES, 0, 0);
    }

    void HandleChanges() {
        while (!changes_.empty()) {
            const Change change = std::move(changes_.front());
            changes_.pop_front();
            if ((change.event == SHCNE_RENAMEITEM || change.event == SHCNE_RENAMEFOLDER) && Rename(change)) continue;
            // A folder's own update names the folder; any other change an entry in it.
            Bytes folder = change.list1;
            const std::size_t last = LastItem(folder);
            if (change.event != SHCNE_UPDATEDIR && last != std::string::npos) folder.resize(last);
            const HTREEITEM node = Find(folder);
            if (node != nullptr && (folders_[node].loaded || FAILED(folders_[node].error))) {
                Request(node, true);
                if (node == TreeView_GetSelection(tree_)) ShowSelected();
            }
        }
    }

    // Renames an entry of a folder the dialog has read, in place: the server
    // is not asked, since its answer may not show the new name yet.
    bool Rename(const Change& change) {
        const std::size_t oldAt = LastItem(change.list1);
        const std::size_t newAt = LastItem(change.list2);
        if (oldAt == std::string::npos || newAt == std::string::npos) return false;
        const Bytes parent(change.list1.begin(), change.list1.begin() + oldAt);
        const HTREEITEM node = Find(parent);
        Entry renamed;
        if (node == nullptr || !ReadEntry(&change.list2[newAt], change.list2.size() - newAt, renamed)) return false;
        const Bytes oldItem(change.list1.begin() + oldAt, change.list1.end());
        for (Entry& entry : folders_[node].entries) {
            if (entry.item != oldItem) continue;
            const std::wstring oldName = entry.name;
            entry = renamed;
            // A renamed folder is read again from its new list when opened.
            for (HTREEITEM child = TreeView_GetChild(tree_, node); child != nullptr;
                 child = TreeView_GetNextSibling(tree_, child)) {
                if (folders_[child].items != change.list1) continue;
                TreeView_Expand(tree_, child, TVE_COLLAPSE | TVE_COLLAPSERESET);
                Folder& folder = folders_[child];
                folder = Folder{};
                folder.items = Child(parent, renamed.item);
                TVITEMW item{};
                item.mask = TVIF_TEXT | TVIF_CHILDREN;
                item.hItem = child;
                item.pszText = const_cast<wchar_t*>(renamed.name.c_str());
                item.cChildren = 1;
                TreeView_SetItem(tree_, &item);
            }
            if (node == TreeView_GetSelection(tree_)) ShowSelected();
            SetStatus(L"Renamed " + oldName + L" to " + renamed.name);
            return true;
        }
        return false;
    }

    HTREEITEM Find(const Bytes& items) {
        for (const auto& [node, folder] : folders_) {
            if (folder.items == items) return node;
        }
        return nullptr;
    }

    // Asks again for every folder whose last request failed; stops once none did.
    void Retry() {
        std::vector<HTREEITEM> failed;
        for (const auto& [node, folder] : folders_) {
            if (FAILED(folder.error)) failed.push_back(node);
        }
        for (const HTREEITEM node : failed) {
            Request(node, true);
            // A branch that answers again opens, as it was meant to.
            if (folders_.count(node) != 0 && SUCCEEDED(folders_[node].error)) TreeView_Expand(tree_, node, TVE_EXPAND);
        }
        bool stillFailing = false;
        for (const auto& entry : folders_) stillFailing = stillFailing || FAILED(entry.second.error);
        if (!stillFailing) KillTimer(window_, kRetryTimer);
        ShowSelected();
    }

    HINSTANCE instance_;
    HWND window_ = nullptr;
    HWND tree_ = nullptr;
    HWND list_ = nullptr;
    HWND status_ = nullptr;
    ImageList images_;
    std::map<HTREEITEM, Folder> folders_;
    std::map<std::wstring, int> classImages_;
    std::deque<Change> changes_;
    HRESULT revoked_ = E_FAIL;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    const ClientRole role;
    if (FAILED(role.result)) {
        MessageBoxW(nullptr, L"VtlsCliInitialize failed", L"Browse OPC Servers", MB_ICONERROR);
        return 1;
    }
    BrowseDialog dialog(instance);
    const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_BROWSE), nullptr, BrowseDialog::Proc,
                                           reinterpret_cast<LPARAM>(&dialog));
    // 0 only when the dialog ran and gave its listener back; the role follows.
    return result == IDCANCEL && dialog.ClosedCleanly() ? 0 : 1;
}
