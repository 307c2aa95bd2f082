// Runs a whole drag with a drag image: through the system's drag-source helper
// and the platform's drag loop, or through the older shell's own.
#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "ui/drag_shell.h"

namespace {

using namespace vtls::ui;

HRESULT SystemDoDragDrop(HWND window, POINT screen, IDataObject* data, IDropSource* source, DWORD allowed,
                         DWORD* effect) noexcept {
    vtls::ComPtr<IDragSourceHelper> helper;
    if (SUCCEEDED(CoCreateInstance(CLSID_DragDropHelper, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER,
                                   IID_IDragSourceHelper, reinterpret_cast<void**>(helper.put())))) {
        // Without an image the drag still runs.
        static_cast<void>(helper->InitializeFromWindow(window, &screen, data));
    }
    return DoDragDrop(data, source, allowed, effect);
}

HRESULT OldShellDoDragDrop(DragShell& dragShell, HWND window, POINT screen, IDataObject* data,
                           IDropSource* source, DWORD allowed, DWORD* effect) noexcept {
    ShellModule shell;
    const ShellDoDragDropProc dragLoop = dragShell.Find<88>(shell);
    const ResetDragImageProc reset = dragShell.Find<136>(shell);
    const PrepareDragImageProc prepare = dragShell.Find<177>(shell);
    if (dragLoop == nullptr || reset == nullptr || prepare == nullptr) {
        return E_FAIL;
    }
    // The loop is given the source window, which owns the drag, and the caller's
    // drop source: the caller decides when its drag ends or is cancelled, as it
    // does on the system's path (a null source still takes the shell's own).
    // A fault while preparing the image skips the loop; the reset runs in any
    // case so that no image is left behind.
    HRESULT result = E_FAIL;
    auto drag = [&] {
        prepare(window, screen);
        result = dragLoop(window, data, source, allowed, effect);
    };
    const bool dragReturned = CallShellReturned(drag);
    auto resetImage = [&] { reset(0, 255); };
    const bool resetReturned = CallShellReturned(resetImage);
    return dragReturned && resetReturned ? result : E_FAIL;
}

}  // namespace

extern "C" HRESULT WINAPI VtlsSHDoDragDrop(HWND window, POINT point, IDataObject* data, IDropSource* source,
                                           DWORD allowedEffects, DWORD* effect) {
    // A window that cannot convert leaves the point as given.
    POINT screen = point;
    ClientToScreen(window, &screen);
    DragShell& dragShell = CurrentDragShell();
    if (dragShell.Path() == DragPath::kSystemHelper) {
        return SystemDoDragDrop(window, screen, data, source, allowedEffects, effect);
    }
    return OldShellDoDragDrop(dragShell, window, screen, data, source, allowedEffects, effect);
}
