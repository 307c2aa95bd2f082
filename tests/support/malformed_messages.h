// Change batches and content requests that each break one rule of the formats
// other processes send: the portable tests see each refused, and the probe
// sends each across the process boundary to the library's windows.
#pragma once

#include <cstdint>
#include <vector>

#include "base/portable/byte_order.h"
#include "channel/portable/content_message.h"
#include "list_bytes.h"
#include "notify/portable/change_format.h"

namespace vtls::test {

struct Malformed {
    const char* what;
    Bytes bytes;  // all of them are sent
};

// Two records: lists 1 and 2 with two extra bytes, then list 2 alone.
inline Bytes GoodBatch() {
    const Bytes list1 = List({EncodeReal(2, u"host")});
    const Bytes list2 = List({EncodeReal(6, u"item")});
    const Bytes extra{1, 2};
    Bytes batch(notify::kBatchHeaderSize);
    for (const bool first : {true, false}) {
        const notify::ChangeFields fields{false, 8, 0x1000, first ? list1.data() : nullptr, first ? list1.size() : 0,
                                          list2.data(), list2.size(), first ? extra.data() : nullptr,
                                          first ? extra.size() : 0};
        const std::size_t at = batch.size();
        batch.resize(at + notify::ChangeRecordSize(fields).value_or(0));
        notify::WriteChangeRecord(batch.data() + at, fields);
    }
    notify::WriteBatchHeader(batch.data(), static_cast<std::uint32_t>(batch.size()), 2);
    return batch;
}

inline std::vector<Malformed> MalformedBatches() {
    namespace n = notify;
    const Bytes good = GoodBatch();
    const std::uint32_t first = itemid::LoadU32(good.data() + n::kBatchHeaderSize);
    const std::size_t record = n::kBatchHeaderSize;
    const auto with = [&](std::size_t at, std::uint32_t value) {
        Bytes b = good;
        itemid::StoreU32(b.data() + at, value);
        return b;
    };
    Bytes longer = good;
    longer.push_back(0);
    Bytes cut(good.begin(), good.end() - 4);
    itemid::StoreU32(cut.data(), static_cast<std::uint32_t>(cut.size()));
    Bytes runaway = good;
    itemid::StoreU16(runaway.data() + record + n::kRecordHeaderSize, 0x7000);
    return {
        {"size field larger than what arrived", Bytes(good.begin(), good.end() - 1)},
        {"size field smaller than what arrived", longer},
        {"cut short, size field agreeing", cut},
        {"header cut short", Bytes(good.begin(), good.begin() + 7)},
        {"count beyond the records", with(n::kBatchCountOffset, 3)},
        {"absurd count", with(n::kBatchCountOffset, 0xFFFFFFFF)},
        {"record smaller than its header", with(record, n::kRecordHeaderSize - 1)},
        {"record past the end", with(record + first, 0x7FFFFFFF)},
        {"record too short for its extra bytes", with(record, first - 1)},
        {"private record in a batch", with(record + n::kRecordPrivateOffset, 1)},
        {"list inside the header", with(record + n::kRecordList1Offset, 8)},
        {"list past its record", with(record + n::kRecordList2Offset, first + 4)},
        {"list without room for its terminator", with(record + n::kRecordList2Offset, first - 1)},
        {"list item reaching past its record", runaway},
        {"extra bytes past the record", with(record + n::kRecordExtraSizeOffset, 100)},
        {"extra bytes starting past the record", with(record + n::kRecordExtraOffset, first + 1)},
    };
}

// A request for the root with value 1, then ones that cannot be read.
inline std::vector<Malformed> MalformedRequests() {
    return {
        {"value cut short", {1, 0, 0}},
        {"terminator cut in half", {1, 0, 0, 0, 0}},
        {"no list terminator", {1, 0, 0, 0, 6, 0, 1, 2, 3, 4}},
        {"item past the end", {1, 0, 0, 0, 0xFF, 0x7F, 0, 0, 0, 0}},
    };
}

}  // namespace vtls::test
