#include "ui/drag_shell.h"

#include "VantrelSh.h"

namespace vtls::ui {
namespace {

// One cached pointer per ordinal, written once when first found, never cleared.
DragShell g_dragShell;
std::atomic<DragShell*> g_dragShellOverride{nullptr};

}  // namespace

FARPROC FindShellOrdinal(HMODULE shell, WORD ordinal) noexcept {
    if (shell == nullptr) {
        return nullptr;
    }
    return GetProcAddress(shell, MAKEINTRESOURCEA(ordinal));
}

HMODULE ShellModule::Get() noexcept {
    if (!fetched_) {
        module_ = GetModuleHandleW(L"shell32.dll");
        fetched_ = true;
    }
    return module_;
}

DragPath DragShell::Path() const noexcept {
    if (fixedPath_) {
        return path_;
    }
    return SHIsWin2000() ? DragPath::kSystemHelper : DragPath::kOldShell;
}

FARPROC DragShell::FindSlot(int slot, WORD ordinal, ShellModule& shell) noexcept {
    FARPROC found = slots_[slot].load(std::memory_order_acquire);
    if (found == nullptr) {
        found = finder_(shell.Get(), ordinal);
        if (found != nullptr) {
            slots_[slot].store(found, std::memory_order_release);
        }
    }
    return found;
}

DragShell& CurrentDragShell() noexcept {
    DragShell* installed = g_dragShellOverride.load(std::memory_order_acquire);
    return installed != nullptr ? *installed : g_dragShell;
}

ScopedDragShellOverride::ScopedDragShellOverride(DragShell& shell) noexcept
    : previous_(g_dragShellOverride.exchange(&shell, std::memory_order_acq_rel)) {}

ScopedDragShellOverride::~ScopedDragShellOverride() {
    g_dragShellOverride.store(previous_, std::memory_order_release);
}

}  // namespace vtls::ui
