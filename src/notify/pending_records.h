// Change records in the library's allocator, and the queue of those posted but
// not yet flushed, which owns them until they are packed into a batch.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "VantrelSh.h"
#include "base/heap_vector.h"
#include "base/unique_resource.h"

namespace vtls::notify {

inline void FreeChangeRecord(std::uint8_t* record) noexcept { VtlsSHFree(record); }
using UniqueChangeRecord = UniqueResource<std::uint8_t*, FreeChangeRecord>;

[[nodiscard]] inline UniqueChangeRecord AllocateChangeRecord(std::size_t bytes) noexcept {
    return UniqueChangeRecord(static_cast<std::uint8_t*>(VtlsSHAlloc(static_cast<ULONG>(bytes))));
}

class PendingRecords {
public:
    PendingRecords() noexcept = default;
    PendingRecords(const PendingRecords&) = delete;
    PendingRecords& operator=(const PendingRecords&) = delete;
    ~PendingRecords() { DropFront(m_records.size()); }

    // False when the queue cannot grow; the record is then freed with its owner.
    [[nodiscard]] bool Push(UniqueChangeRecord record) noexcept {
        if (!m_records.PushBack(record.get())) {
            return false;
        }
        static_cast<void>(record.release());
        return true;
    }

    [[nodiscard]] std::size_t size() const noexcept { return m_records.size(); }
    [[nodiscard]] bool empty() const noexcept { return m_records.empty(); }
    [[nodiscard]] std::uint8_t* operator[](std::size_t index) const noexcept { return m_records[index]; }

    // Frees the first count records (at most size()): they went into a batch or were dropped.
    void DropFront(std::size_t count) noexcept {
        for (std::size_t i = 0; i < count; ++i) {
            FreeChangeRecord(m_records[i]);
        }
        m_records.EraseFront(count);
    }

private:
    HeapVector<std::uint8_t*> m_records;
};

}  // namespace vtls::notify
