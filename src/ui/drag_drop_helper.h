// The library's own IDropTargetHelper for shells older than version 5: it
// drives the shell's drag image through the shell's ordinal exports.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include "base/heap_object.h"

namespace vtls::ui {

class CDragDropHelper final : public IDropTargetHelper {
public:
    // A new helper with no references yet; null when memory runs out.
    [[nodiscard]] static CDragDropHelper* Create() noexcept;

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDropTargetHelper. Points are in screen coordinates; the shell is given
    // them relative to the target window's outer rectangle.
    HRESULT STDMETHODCALLTYPE DragEnter(HWND target, IDataObject* data, POINT* point, DWORD effect) override;
    HRESULT STDMETHODCALLTYPE DragLeave() override;
    HRESULT STDMETHODCALLTYPE DragOver(POINT* point, DWORD effect) override;
    HRESULT STDMETHODCALLTYPE Drop(IDataObject* data, POINT* point, DWORD effect) override;
    HRESULT STDMETHODCALLTYPE Show(BOOL show) override;

private:
    CDragDropHelper() noexcept = default;
    ~CDragDropHelper() = default;
    friend CDragDropHelper* vtls::HeapNew<CDragDropHelper>() noexcept;
    friend void vtls::HeapDelete<CDragDropHelper>(CDragDropHelper*) noexcept;

    // Ends the shell's drag image; whether it could is nobody's concern.
    void EndDragImage() noexcept;

    LONG m_refCount = 0;
    // The window of the last DragEnter; kept through DragLeave and Drop.
    HWND m_hwndTarget = nullptr;
};

}  // namespace vtls::ui
