// What listeners read while changes are delivered to them: a copy of a batch (or
// of one private record) with room for each record's VTLSCHANGEINFO. A delivery
// stops waiting for a listener after its bound, but the listener may still be
// reading what it was given; such a block is kept until every listener that let
// its bound pass on it has answered again (or is gone).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "VantrelSh.h"
#include "base/heap_vector.h"

namespace vtls {

class DeliveryBlock {
public:
    // A copy of size bytes with room for infoCount change infos; null when
    // memory runs out.
    [[nodiscard]] static DeliveryBlock* Copy(const std::uint8_t* bytes, std::size_t size,
                                             std::size_t infoCount) noexcept;
    // Frees the block, or keeps it until each of the listeners still reading it
    // has answered again. A DeliveryLease calls it as a delivery ends.
    static void Release(DeliveryBlock* block, const HeapVector<HWND>& stillReading) noexcept;

    [[nodiscard]] std::uint8_t* Bytes() noexcept;
    [[nodiscard]] std::size_t Size() const noexcept { return m_size; }
    [[nodiscard]] VTLSCHANGEINFO* Info(std::size_t index) noexcept;

private:
    friend void ReleaseKeptFor(HWND listener) noexcept;
    DeliveryBlock() = default;
    std::size_t m_infoCount = 0;
    std::size_t m_size = 0;
    LONG m_readers = 0;  // listeners it is kept for
};

// The listener answered again, or is gone: blocks kept for it alone are freed.
void ReleaseKeptFor(HWND listener) noexcept;

// Owns a block for one delivery. Listeners that let their bound pass are noted
// in StillReading(); when the delivery ends the block is freed, or kept for
// them until they answer again.
class DeliveryLease {
public:
    explicit DeliveryLease(DeliveryBlock* block) noexcept : m_block(block) {}
    DeliveryLease(const DeliveryLease&) = delete;
    DeliveryLease& operator=(const DeliveryLease&) = delete;
    ~DeliveryLease() { DeliveryBlock::Release(m_block, m_stillReading); }

    explicit operator bool() const noexcept { return m_block != nullptr; }
    [[nodiscard]] DeliveryBlock* operator->() const noexcept { return m_block; }
    [[nodiscard]] HeapVector<HWND>& StillReading() noexcept { return m_stillReading; }

private:
    DeliveryBlock* m_block;
    HeapVector<HWND> m_stillReading;
};

}  // namespace vtls
