// Hands a drop target the drag-image helper that suits the shell.
#include "VantrelSh.h"
#include "ui/drag_drop_helper.h"
#include "ui/drag_shell.h"

using vtls::ui::CDragDropHelper;
using vtls::ui::CurrentDragShell;
using vtls::ui::DragPath;

extern "C" HRESULT WINAPI SHGetDropTargetHelper(IDropTargetHelper** helper) {
    if (CurrentDragShell().Path() == DragPath::kSystemHelper) {
        // The system's object is apartment-threaded: from a multithreaded
        // apartment the creation fails, and that result is the caller's answer.
        return CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                IID_IDropTargetHelper, reinterpret_cast<void**>(helper));
    }
    // Nowhere to put the object: refused as the system's creation refuses it.
    if (helper == nullptr) {
        return E_POINTER;
    }
    CDragDropHelper* created = CDragDropHelper::Create();
    if (created == nullptr) {
        return E_OUTOFMEMORY;
    }
    *helper = created;
    created->AddRef();
    return S_OK;
}
