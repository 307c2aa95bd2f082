// Objects on the process heap for COM classes that delete themselves on their
// last Release: made without throwing (null when memory runs out) and
// destroyed through the same heap.
#pragma once

#include <windows.h>

#include <new>
#include <utility>

namespace vtls {

template <typename T, typename... Args>
[[nodiscard]] T* HeapNew(Args&&... args) noexcept {
    static_assert(alignof(T) <= MEMORY_ALLOCATION_ALIGNMENT, "the heap's alignment is not enough");
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
    if (memory == nullptr) {
        return nullptr;
    }
    return ::new (memory) T(std::forward<Args>(args)...);
}

template <typename T>
void HeapDelete(T* object) noexcept {
    if (object != nullptr) {
        object->~T();
        HeapFree(GetProcessHeap(), 0, object);
    }
}

}  // namespace vtls
