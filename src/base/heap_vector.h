// A growable array of plain values on the process heap. Growth can fail, and
// says so, instead of throwing: the library is built without exceptions.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace vtls {

template <typename T>
class HeapVector {
    static_assert(std::is_trivially_copyable_v<T>, "elements are moved with memcpy");

public:
    HeapVector() noexcept = default;
    HeapVector(const HeapVector&) = delete;
    HeapVector& operator=(const HeapVector&) = delete;
    ~HeapVector() {
        if (m_data != nullptr) {
            HeapFree(GetProcessHeap(), 0, m_data);
        }
    }

    [[nodiscard]] std::size_t size() const noexcept { return m_size; }
    [[nodiscard]] bool empty() const noexcept { return m_size == 0; }
    [[nodiscard]] T* data() noexcept { return m_data; }
    [[nodiscard]] const T* data() const noexcept { return m_data; }
    T& operator[](std::size_t index) noexcept { return m_data[index]; }
    const T& operator[](std::size_t index) const noexcept { return m_data[index]; }

    [[nodiscard]] bool Insert(std::size_t index, const T& value) noexcept {
        if (m_size == m_capacity && !Grow()) {
            return false;
        }
        std::memmove(m_data + index + 1, m_data + index, (m_size - index) * sizeof(T));
        m_data[index] = value;
        ++m_size;
        return true;
    }
    [[nodiscard]] bool PushBack(const T& value) noexcept { return Insert(m_size, value); }

    void Erase(std::size_t index) noexcept {
        std::memmove(m_data + index, m_data + index + 1, (m_size - index - 1) * sizeof(T));
        --m_size;
    }
    // Removes the first count elements (at most size()).
    void EraseFront(std::size_t count) noexcept {
        std::memmove(m_data, m_data + count, (m_size - count) * sizeof(T));
        m_size -= count;
    }
    void Clear() noexcept { m_size = 0; }

private:
    bool Grow() noexcept {
        const std::size_t capacity = m_capacity == 0 ? 8 : m_capacity * 2;
        if (capacity > static_cast<std::size_t>(-1) / sizeof(T)) {
            return false;
        }
        void* grown = m_data == nullptr ? HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(T))
                                       : HeapReAlloc(GetProcessHeap(), 0, m_data, capacity * sizeof(T));
        if (grown == nullptr) {
            return false;
        }
        m_data = static_cast<T*>(grown);
        m_capacity = capacity;
        return true;
    }

    T* m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
};

}  // namespace vtls
