// A change batch received from another process: what the validator accepts must
// be walkable record by record, with every part inside its record.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "base/portable/byte_order.h"
#include "itemid/portable/id_list.h"
#include "notify/portable/change_format.h"

using namespace vtls::notify;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> batch(data, data + size);  // exact size: reads beyond trip ASan
    if (batch.size() >= kBatchHeaderSize) {
        // Let most inputs carry a matching size field, or nothing gets past it.
        vtls::itemid::StoreU32(batch.data(), static_cast<std::uint32_t>(batch.size()));
    }
    if (!ValidateBatch(batch.data(), batch.size())) return 0;
    const std::uint32_t count = vtls::itemid::LoadU32(batch.data() + kBatchCountOffset);
    std::size_t at = kBatchHeaderSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        const RecordView record(batch.data() + at);
        const std::size_t end = at + record.Size();
        if (end > batch.size() || record.IsPrivate()) std::abort();
        for (std::uint8_t* list : {record.List1(), record.List2()}) {
            if (list == nullptr) continue;
            // Walked without a bound, as delivery does: must stay inside the record.
            const std::size_t bytes = vtls::itemid::ListSize(list) + 2;
            if (list + bytes > batch.data() + end) std::abort();
        }
        if (record.Extra() != nullptr && record.Extra() + record.ExtraSize() > batch.data() + end) std::abort();
        volatile std::uint32_t sink = record.Event();
        static_cast<void>(sink);
        at = end;
    }
    return 0;
}
