#include "notify/delivery_block.h"

#include <cstring>
#include <new>

#include "base/critical_section.h"

namespace vtls {
namespace {

// The infos follow the header, the bytes follow the infos; both stay aligned
// for the pointers inside a VTLSCHANGEINFO.
constexpr std::size_t kHeaderSize = (sizeof(DeliveryBlock) + alignof(VTLSCHANGEINFO) - 1) /
                                    alignof(VTLSCHANGEINFO) * alignof(VTLSCHANGEINFO);

struct KeptBlock {
    HWND listener;
    DeliveryBlock* block;
};

// Blocks kept for listeners that let their bound pass. A listener that never
// answers again keeps one block per time it hung, until the process ends.
class KeptBlocks {
public:
    // When the table cannot grow the block is never freed: kept for good
    // rather than freed under a reader.
    void Keep(DeliveryBlock* block, HWND listener) noexcept {
        ScopedLock lock(m_lock);
        static_cast<void>(m_kept.PushBack({listener, block}));
    }
    // Takes listener's entries off the table; each block comes out as often as
    // it was kept for the listener.
    void LetGo(HWND listener, HeapVector<DeliveryBlock*>& blocks) noexcept {
        ScopedLock lock(m_lock);
        for (std::size_t i = m_kept.size(); i-- > 0;) {
            if (m_kept[i].listener == listener && blocks.PushBack(m_kept[i].block)) {
                m_kept.Erase(i);
            }
        }
    }

private:
    CriticalSection m_lock;
    HeapVector<KeptBlock> m_kept;
};

KeptBlocks g_kept;

}  // namespace

DeliveryBlock* DeliveryBlock::Copy(const std::uint8_t* bytes, std::size_t size, std::size_t infoCount) noexcept {
    if (infoCount > (static_cast<std::size_t>(-1) - kHeaderSize - size) / sizeof(VTLSCHANGEINFO)) {
        return nullptr;
    }
    void* memory = HeapAlloc(GetProcessHeap(), 0, kHeaderSize + infoCount * sizeof(VTLSCHANGEINFO) + size);
    if (memory == nullptr) {
        return nullptr;
    }
    auto* block = new (memory) DeliveryBlock();
    block->m_infoCount = infoCount;
    block->m_size = size;
    std::memcpy(block->Bytes(), bytes, size);
    return block;
}

std::uint8_t* DeliveryBlock::Bytes() noexcept {
    return reinterpret_cast<std::uint8_t*>(this) + kHeaderSize + m_infoCount * sizeof(VTLSCHANGEINFO);
}

VTLSCHANGEINFO* DeliveryBlock::Info(std::size_t index) noexcept {
    return reinterpret_cast<VTLSCHANGEINFO*>(reinterpret_cast<std::uint8_t*>(this) + kHeaderSize) + index;
}

void DeliveryBlock::Release(DeliveryBlock* block, const HeapVector<HWND>& stillReading) noexcept {
    if (block == nullptr) {
        return;
    }
    if (stillReading.empty()) {
        HeapFree(GetProcessHeap(), 0, block);
        return;
    }
    InterlockedExchange(&block->m_readers, static_cast<LONG>(stillReading.size()));
    for (std::size_t i = 0; i < stillReading.size(); ++i) {
        g_kept.Keep(block, stillReading[i]);
    }
}

void ReleaseKeptFor(HWND listener) noexcept {
    HeapVector<DeliveryBlock*> blocks;
    g_kept.LetGo(listener, blocks);
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        if (InterlockedDecrement(&blocks[i]->m_readers) == 0) {
            HeapFree(GetProcessHeap(), 0, blocks[i]);
        }
    }
}

}  // namespace vtls
