// Owner of one COM reference.
#pragma once

#include <unknwn.h>

#include <utility>

namespace vtls {

template <typename Interface>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            m_pointer = std::exchange(other.m_pointer, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already holds.
    [[nodiscard]] static ComPtr Attach(Interface* pointer) noexcept {
        ComPtr owner;
        owner.m_pointer = pointer;
        return owner;
    }

    [[nodiscard]] Interface* get() const noexcept { return m_pointer; }
    Interface* operator->() const noexcept { return m_pointer; }
    explicit operator bool() const noexcept { return m_pointer != nullptr; }

    // For out-parameters of creating functions.
    [[nodiscard]] Interface** put() noexcept {
        reset();
        return &m_pointer;
    }
    // Hands the reference to the caller.
    [[nodiscard]] Interface* detach() noexcept { return std::exchange(m_pointer, nullptr); }

    void reset() noexcept {
        if (Interface* old = std::exchange(m_pointer, nullptr)) {
            old->Release();
        }
    }

private:
    Interface* m_pointer = nullptr;
};

}  // namespace vtls
