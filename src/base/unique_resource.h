// Owners for platform handles: a raw handle lives only as long as one expression.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <utility>

namespace vtls {

// Owns one value of Handle; Close(value) releases it unless it equals Invalid.
template <typename Handle, auto Close, Handle Invalid = Handle{}>
class UniqueResource {
public:
    UniqueResource() noexcept = default;
    explicit UniqueResource(Handle value) noexcept : m_value(value) {}
    UniqueResource(UniqueResource&& other) noexcept : m_value(other.release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;
    ~UniqueResource() { reset(); }

    [[nodiscard]] Handle get() const noexcept { return m_value; }
    [[nodiscard]] bool valid() const noexcept { return m_value != Invalid; }
    explicit operator bool() const noexcept { return valid(); }

    [[nodiscard]] Handle release() noexcept { return std::exchange(m_value, Invalid); }
    void reset(Handle value = Invalid) noexcept {
        const Handle old = std::exchange(m_value, value);
        if (old != Invalid) {
            Close(old);
        }
    }
    // For out-parameters: releases what is held and hands out the slot.
    [[nodiscard]] Handle* put() noexcept {
        reset();
        return &m_value;
    }

private:
    Handle m_value = Invalid;
};

inline void CloseKernelHandle(HANDLE handle) noexcept { ::CloseHandle(handle); }
inline void ReleaseModule(HMODULE module) noexcept { ::FreeLibrary(module); }
inline void FreeGlobal(HGLOBAL memory) noexcept { ::GlobalFree(memory); }
inline void UnlockGlobal(HGLOBAL memory) noexcept { ::GlobalUnlock(memory); }
inline void FreeLocal(HLOCAL memory) noexcept { ::LocalFree(memory); }
inline void CloseRegKey(HKEY key) noexcept { ::RegCloseKey(key); }
inline void DestroyMenuHandle(HMENU menu) noexcept { ::DestroyMenu(menu); }

// Kernel objects whose "none" is null (events, threads, processes, mappings).
using UniqueHandle = UniqueResource<HANDLE, CloseKernelHandle>;
using UniqueModule = UniqueResource<HMODULE, ReleaseModule>;

// Memory from GlobalAlloc and LocalAlloc (LocalAlloc also behind the strings
// that FormatMessageW allocates).
using UniqueGlobal = UniqueResource<HGLOBAL, FreeGlobal>;
using UniqueLocal = UniqueResource<HLOCAL, FreeLocal>;

// Memory from the process heap (HeapAlloc on GetProcessHeap()).
inline void FreeProcessHeapMemory(void* memory) noexcept { ::HeapFree(::GetProcessHeap(), 0, memory); }
using UniqueHeapMemory = UniqueResource<void*, FreeProcessHeapMemory>;

// Memory from CoTaskMemAlloc.
inline void FreeCoTaskMemory(void* memory) noexcept { ::CoTaskMemFree(memory); }
using UniqueCoTaskMem = UniqueResource<void*, FreeCoTaskMemory>;

// Registry keys opened or created by the caller (never a predefined root).
using UniqueRegKey = UniqueResource<HKEY, CloseRegKey>;

// A menu not (or not yet) attached to another menu or a window; destroying it
// destroys its submenus too.
using UniqueMenu = UniqueResource<HMENU, DestroyMenuHandle>;

// Global memory locked for one scope. address() is null when the lock failed,
// and then nothing is unlocked.
class GlobalLockScope {
public:
    explicit GlobalLockScope(HGLOBAL memory) noexcept
        : m_address(::GlobalLock(memory)), m_locked(m_address != nullptr ? memory : nullptr) {}

    [[nodiscard]] void* address() const noexcept { return m_address; }

private:
    void* m_address;
    UniqueResource<HGLOBAL, UnlockGlobal> m_locked;
};

// Files, pipes and snapshots report failure as INVALID_HANDLE_VALUE; their
// owner holds null instead, so one owner type serves both conventions.
[[nodiscard]] inline UniqueHandle AdoptFileHandle(HANDLE handle) noexcept {
    return UniqueHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

}  // namespace vtls
