// The older shell's drag-image exports (shell32 exports them by ordinal only),
// found once and kept, and the choice between them and the system's
// drag-and-drop helper.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <atomic>

#include "base/fault_guard.h"

namespace vtls::ui {

// The shell's signatures. A POINT travels by value as one structure: on x64 it
// is passed in one register, where two separate ints would take two.
using ShellDoDragDropProc = HRESULT(WINAPI*)(HWND window, IDataObject* data, IDropSource* source, DWORD allowed,
                                             DWORD* effect);                    // 88: the drag loop
using DragEnterProc = BOOL(WINAPI*)(HWND target, POINT windowPoint);           // 131
using DragLeaveProc = BOOL(WINAPI*)();                                         // 132
using DragMoveProc = BOOL(WINAPI*)(POINT windowPoint);                         // 134
using ResetDragImageProc = BOOL(WINAPI*)(INT_PTR first, INT_PTR second);       // 136, with 0 and 255
using ShowDragImageProc = BOOL(WINAPI*)(BOOL show);                            // 137
using PrepareDragImageProc = BOOL(WINAPI*)(HWND source, POINT screenPoint);    // 177

template <WORD Ordinal>
struct ShellExport;
template <> struct ShellExport<88> { using Proc = ShellDoDragDropProc; static constexpr int kSlot = 0; };
template <> struct ShellExport<131> { using Proc = DragEnterProc; static constexpr int kSlot = 1; };
template <> struct ShellExport<132> { using Proc = DragLeaveProc; static constexpr int kSlot = 2; };
template <> struct ShellExport<134> { using Proc = DragMoveProc; static constexpr int kSlot = 3; };
template <> struct ShellExport<136> { using Proc = ResetDragImageProc; static constexpr int kSlot = 4; };
template <> struct ShellExport<137> { using Proc = ShowDragImageProc; static constexpr int kSlot = 5; };
template <> struct ShellExport<177> { using Proc = PrepareDragImageProc; static constexpr int kSlot = 6; };
inline constexpr int kShellExportSlots = 7;

enum class DragPath {
    kSystemHelper,  // the system's drag-and-drop helper object (shell 5 and later)
    kOldShell,      // the shell's ordinal exports, through CDragDropHelper
};

// Finds a shell export by ordinal; null when there is none.
using OrdinalFinder = FARPROC (*)(HMODULE shell, WORD ordinal);

// GetProcAddress by ordinal in a loaded shell32 (null module: not found).
[[nodiscard]] FARPROC FindShellOrdinal(HMODULE shell, WORD ordinal) noexcept;

// shell32's module handle, fetched on first need and then kept for one
// operation.
class ShellModule {
public:
    [[nodiscard]] HMODULE Get() noexcept;

private:
    HMODULE m_module = nullptr;
    bool m_fetched = false;
};

class DragShell {
public:
    // The process's own: the path follows SHIsWin2000, exports come from shell32.
    constexpr DragShell() noexcept = default;
    // One that a test installs: a fixed path, exports from finder, its own cache.
    DragShell(DragPath path, OrdinalFinder finder) noexcept : m_fixedPath(true), m_path(path), m_finder(finder) {}
    DragShell(const DragShell&) = delete;
    DragShell& operator=(const DragShell&) = delete;

    [[nodiscard]] DragPath Path() const noexcept;

    // The export, from the cache or looked up now; a found one is kept, one not
    // found is looked up again next time. Threads that find the same export
    // store the same value, so no lock is taken.
    template <WORD Ordinal>
    [[nodiscard]] typename ShellExport<Ordinal>::Proc Find(ShellModule& shell) noexcept {
        const FARPROC found = FindSlot(ShellExport<Ordinal>::kSlot, Ordinal, shell);
        return reinterpret_cast<typename ShellExport<Ordinal>::Proc>(reinterpret_cast<void*>(found));
    }

private:
    [[nodiscard]] FARPROC FindSlot(int slot, WORD ordinal, ShellModule& shell) noexcept;

    bool m_fixedPath = false;
    DragPath m_path = DragPath::kOldShell;
    OrdinalFinder m_finder = FindShellOrdinal;
    std::atomic<FARPROC> m_slots[kShellExportSlots] = {};
};

// The binding the drag functions use now.
[[nodiscard]] DragShell& CurrentDragShell() noexcept;

// For tests only (not reachable through the DLL's exports): while it lives, the
// drag functions use shell instead of the process's own binding.
class [[nodiscard]] ScopedDragShellOverride {
public:
    explicit ScopedDragShellOverride(DragShell& shell) noexcept;
    ~ScopedDragShellOverride();
    ScopedDragShellOverride(const ScopedDragShellOverride&) = delete;
    ScopedDragShellOverride& operator=(const ScopedDragShellOverride&) = delete;

private:
    DragShell* m_previous;
};

// Calls into the shell with faults caught; true when the call returned.
template <typename Callable>
[[nodiscard]] bool CallShellReturned(Callable& call) noexcept {
    return !CallCatchingFaults(call).faulted;
}

}  // namespace vtls::ui
