// COM objects of the test peers live on the process heap, built in place.
#pragma once

#include <windows.h>

#include <new>
#include <utility>

namespace vtls::test {

template <typename T, typename... Args>
T* HeapNew(Args&&... args) {
    void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(T));
    return memory != nullptr ? new (memory) T(std::forward<Args>(args)...) : nullptr;
}

template <typename T>
void HeapDelete(T* object) {
    object->~T();
    HeapFree(GetProcessHeap(), 0, object);
}

}  // namespace vtls::test
