// SHChangeNotifyRegister and SHChangeNotifyRevoke: windows of this process that
// receive every change delivered here.
#include "VantrelSh.h"
#include "channel/role_state.h"
#include "notify/manager/fs_notify_manager.h"

namespace vtls {
namespace {

// Listeners are ordered by the handle's value as an unsigned 32-bit number.
std::uint32_t Key(HWND window) noexcept {
    return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(window));
}

// The index at which window is, or would be inserted.
std::size_t LowerBound(const HeapVector<HWND>& listeners, HWND window) noexcept {
    std::size_t low = 0;
    std::size_t high = listeners.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (Key(listeners[middle]) < Key(window)) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return low;
}

}  // namespace

HRESULT CFsNotifyManager::Register(HWND window) noexcept {
    if (window == nullptr || !IsWindow(window)) {
        return E_INVALIDARG;
    }
    ScopedLock lock(m_lock);
    const std::size_t at = LowerBound(m_listeners, window);
    if (at < m_listeners.size() && m_listeners[at] == window) {
        return S_OK;
    }
    return m_listeners.Insert(at, window) ? S_OK : E_OUTOFMEMORY;
}

HRESULT CFsNotifyManager::Revoke(HWND window) noexcept {
    ScopedLock lock(m_lock);
    const std::size_t at = LowerBound(m_listeners, window);
    if (at < m_listeners.size() && m_listeners[at] == window) {
        m_listeners.Erase(at);
        return S_OK;
    }
    return E_INVALIDARG;
}

}  // namespace vtls

extern "C" HRESULT WINAPI VtlsSHChangeNotifyRegister(HWND window) {
    if (vtls::g_bFsNotifyServer) {
        return E_INVALIDARG;
    }
    // The messages a listener gets carry pointers into this process, so a window
    // of another process could only misread them.
    DWORD owner = 0;
    if (window != nullptr && IsWindow(window) &&
        (GetWindowThreadProcessId(window, &owner) == 0 || owner != GetCurrentProcessId())) {
        return E_INVALIDARG;
    }
    return vtls::g_FsNotifyManager.Register(window);
}

extern "C" HRESULT WINAPI VtlsSHChangeNotifyRevoke(HWND window) {
    if (window == nullptr || vtls::g_bFsNotifyServer) {
        return S_OK;
    }
    return vtls::g_FsNotifyManager.Revoke(window);
}
