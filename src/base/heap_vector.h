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
        if (data_ != nullptr) {
            HeapFree(GetProcessHeap(), 0, data_);
        }
    }

    [[nodiscard]] std::size_t size() const noexcept { return size_; }
    [[nodiscard]] bool empty() const noexcept { return size_ == 0; }
    [[nodiscard]] T* data() noexcept { return data_; }
    [[nodiscard]] const T* data() const noexcept { return data_; }
    T& operator[](std::size_t index) noexcept { return data_[index]; }
    const T& operator[](std::size_t index) const noexcept { return data_[index]; }

    [[nodiscard]] bool Insert(std::size_t index, const T& value) noexcept {
        if (size_ == capacity_ && !Grow()) {
            return false;
        }
        std::memmove(data_ + index + 1, data_ + index, (size_ - index) * sizeof(T));
        data_[index] = value;
        ++size_;
        return true;
    }
    [[nodiscard]] bool PushBack(const T& value) noexcept { return Insert(size_, value); }

    void Erase(std::size_t index) noexcept {
        std::memmove(data_ + index, data_ + index + 1, (size_ - index - 1) * sizeof(T));
        --size_;
    }
    // Removes the first count elements (at most size()).
    void EraseFront(std::size_t count) noexcept {
        std::memmove(data_, data_ + count, (size_ - count) * sizeof(T));
        size_ -= count;
    }
    void Clear() noexcept { size_ = 0; }

private:
    bool Grow() noexcept {
        const std::size_t capacity = capacity_ == 0 ? 8 : capacity_ * 2;
        if (capacity > static_cast<std::size_t>(-1) / sizeof(T)) {
            return false;
        }
        void* grown = data_ == nullptr ? HeapAlloc(GetProcessHeap(), 0, capacity * sizeof(T))
                                       : HeapReAlloc(GetProcessHeap(), 0, data_, capacity * sizeof(T));
        if (grown == nullptr) {
            return false;
        }
        data_ = static_cast<T*>(grown);
        capacity_ = capacity;
        return true;
    }

    T* data_ = nullptr;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace vtls
