#include "ui/drag_drop_helper.h"

#include "VantrelSh.h"
#include "base/interface_table.h"
#include "ui/drag_shell.h"

namespace vtls::ui {
namespace {

// A window that cannot tell its rectangle leaves the point as it is.
POINT RelativeToWindow(HWND window, const POINT& screen) noexcept {
    RECT outer{};
    GetWindowRect(window, &outer);
    return POINT{screen.x - outer.left, screen.y - outer.top};
}

}  // namespace

CDragDropHelper* CDragDropHelper::Create() noexcept { return HeapNew<CDragDropHelper>(); }

HRESULT CDragDropHelper::QueryInterface(REFIID iid, void** object) {
    constexpr QueryRules kCounted{E_POINTER, true, true};
    IDropTargetHelper* const self = this;
    return QueryFromTable({{IID_IUnknown, self}, {IID_IDropTargetHelper, self}}, kCounted, iid, object);
}

ULONG CDragDropHelper::AddRef() { return static_cast<ULONG>(InterlockedIncrement(&m_refCount)); }

ULONG CDragDropHelper::Release() {
    const LONG count = InterlockedDecrement(&m_refCount);
    if (count == 0) {
        HeapDelete(this);
    }
    return static_cast<ULONG>(count);
}

HRESULT CDragDropHelper::DragEnter(HWND target, IDataObject* /*data*/, POINT* point, DWORD /*effect*/) {
    if (point == nullptr) {
        return E_INVALIDARG;
    }
    m_hwndTarget = target;
    const POINT relative = RelativeToWindow(target, *point);
    ShellModule shell;
    const DragEnterProc enter = CurrentDragShell().Find<131>(shell);
    if (enter == nullptr) {
        return E_FAIL;
    }
    auto call = [&] { enter(target, relative); };
    return CallShellReturned(call) ? S_OK : E_FAIL;
}

HRESULT CDragDropHelper::DragOver(POINT* point, DWORD /*effect*/) {
    if (point == nullptr) {
        return E_INVALIDARG;
    }
    const POINT relative = RelativeToWindow(m_hwndTarget, *point);
    ShellModule shell;
    const DragMoveProc move = CurrentDragShell().Find<134>(shell);
    if (move == nullptr) {
        return E_FAIL;
    }
    auto call = [&] { move(relative); };
    return CallShellReturned(call) ? S_OK : E_FAIL;
}

void CDragDropHelper::EndDragImage() noexcept {
    ShellModule shell;
    const DragLeaveProc leave = CurrentDragShell().Find<132>(shell);
    if (leave == nullptr) {
        return;
    }
    auto call = [&] { leave(); };
    static_cast<void>(CallShellReturned(call));
}

HRESULT CDragDropHelper::DragLeave() {
    EndDragImage();
    return S_OK;
}

// The helper only ends the image; the drop itself is the drop target's business.
HRESULT CDragDropHelper::Drop(IDataObject* /*data*/, POINT* /*point*/, DWORD /*effect*/) {
    EndDragImage();
    return S_OK;
}

HRESULT CDragDropHelper::Show(BOOL show) {
    SHShowDragImage(show);
    return S_OK;
}

}  // namespace vtls::ui
