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
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ~ComPtr() { reset(); }

    // Adopts a reference the caller already holds.
    [[nodiscard]] static ComPtr Attach(Interface* pointer) noexcept {
        ComPtr owner;
        owner.pointer_ = pointer;
        return owner;
    }

    [[nodiscard]] Interface* get() const noexcept { return pointer_; }
    Interface* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    // For out-parameters of creating functions.
    [[nodiscard]] Interface** put() noexcept {
        reset();
        return &pointer_;
    }
    // Hands the reference to the caller.
    [[nodiscard]] Interface* detach() noexcept { return std::exchange(pointer_, nullptr); }

    void reset() noexcept {
        if (Interface* old = std::exchange(pointer_, nullptr)) {
            old->Release();
        }
    }

private:
    Interface* pointer_ = nullptr;
};

}  // namespace vtls
