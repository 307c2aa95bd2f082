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
    if (!m_fetched) {
        m_module = GetModuleHandleW(L"shell32.dll");
        m_fetched = true;
    }
    return m_module;
}

DragPath DragShell::Path() const noexcept {
    if (m_fixedPath) {
        return m_path;
    }
    return SHIsWin2000() ? DragPath::kSystemHelper : DragPath::kOldShell;
}

FARPROC DragShell::FindSlot(int slot, WORD ordinal, ShellModule& shell) noexcept {
    FARPROC found = m_slots[slot].load(std::memory_order_acquire);
    if (found == nullptr) {
        found = m_finder(shell.Get(), ordinal);
        if (found != nullptr) {
            m_slots[slot].store(found, std::memory_order_release);
        }
    }
    return found;
}

DragShell& CurrentDragShell() noexcept {
    DragShell* installed = g_dragShellOverride.load(std::memory_order_acquire);
    return installed != nullptr ? *installed : g_dragShell;
}

ScopedDragShellOverride::ScopedDragShellOverride(DragShell& shell) noexcept
    : m_previous(g_dragShellOverride.exchange(&shell, std::memory_order_acq_rel)) {}

ScopedDragShellOverride::~ScopedDragShellOverride() {
    g_dragShellOverride.store(m_previous, std::memory_order_release);
}

}  // namespace vtls::ui
