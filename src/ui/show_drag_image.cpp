// Shows or hides the shell's drag image, on any shell that has the export.
#include "VantrelSh.h"
#include "ui/drag_shell.h"

extern "C" void WINAPI SHShowDragImage(BOOL show) {
    vtls::ui::ShellModule shell;
    const vtls::ui::ShowDragImageProc showImage = vtls::ui::CurrentDragShell().Find<137>(shell);
    if (showImage == nullptr) {
        return;
    }
    auto call = [&] { showImage(show); };
    // A fault inside the shell is of no consequence to the caller.
    static_cast<void>(vtls::ui::CallShellReturned(call));
}
