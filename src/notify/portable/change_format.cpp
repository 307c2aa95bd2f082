#include "notify/portable/change_format.h"

#include <cstring>

#include "base/portable/byte_order.h"
#include "itemid/portable/id_list.h"

namespace vtls::notify {

using itemid::LoadU32;
using itemid::StoreU32;

std::optional<std::size_t> ChangeRecordSize(const ChangeFields& fields) noexcept {
    const std::uint64_t size = kRecordHeaderSize + static_cast<std::uint64_t>(fields.list1Bytes) +
                               fields.list2Bytes + fields.extraBytes;
    if (size > 0xFFFFFFFFu || size > static_cast<std::uint64_t>(SIZE_MAX)) {
        return std::nullopt;
    }
    return static_cast<std::size_t>(size);
}

void WriteChangeRecord(std::uint8_t* out, const ChangeFields& fields) noexcept {
    const std::size_t size = kRecordHeaderSize + fields.list1Bytes + fields.list2Bytes + fields.extraBytes;
    std::memset(out, 0, kRecordHeaderSize);
    StoreU32(out + kRecordSizeOffset, static_cast<std::uint32_t>(size));
    StoreU32(out + kRecordPrivateOffset, fields.isPrivate ? 1 : 0);
    StoreU32(out + kRecordEventOffset, fields.event);
    StoreU32(out + kRecordFlagsOffset, fields.flags);
    StoreU32(out + kRecordExtraSizeOffset, static_cast<std::uint32_t>(fields.extraBytes));
    std::size_t at = kRecordHeaderSize;
    const auto put = [&](std::size_t offsetField, const std::uint8_t* bytes, std::size_t count) {
        if (bytes == nullptr && offsetField != kRecordExtraOffset) {
            return;
        }
        if (count == 0) {
            return;
        }
        StoreU32(out + offsetField, static_cast<std::uint32_t>(at));
        if (bytes != nullptr) {
            std::memcpy(out + at, bytes, count);
        } else {
            std::memset(out + at, 0, count);  // reserved, not set by the poster
        }
        at += count;
    };
    put(kRecordList1Offset, fields.list1, fields.list1Bytes);
    put(kRecordList2Offset, fields.list2, fields.list2Bytes);
    put(kRecordExtraOffset, fields.extra, fields.extraBytes);
}

void WriteBatchHeader(std::uint8_t* batch, std::uint32_t size, std::uint32_t count) noexcept {
    StoreU32(batch + kBatchSizeOffset, size);
    StoreU32(batch + kBatchCountOffset, count);
}

std::uint32_t RecordView::Size() const noexcept { return LoadU32(m_record + kRecordSizeOffset); }
bool RecordView::IsPrivate() const noexcept { return LoadU32(m_record + kRecordPrivateOffset) != 0; }
std::uint32_t RecordView::Event() const noexcept { return LoadU32(m_record + kRecordEventOffset); }

std::uint32_t RecordView::ExtraSize() const noexcept {
    return LoadU32(m_record + kRecordExtraOffset) == 0 ? 0 : LoadU32(m_record + kRecordExtraSizeOffset);
}

std::uint8_t* RecordView::At(std::size_t offsetField) const noexcept {
    const std::uint32_t offset = LoadU32(m_record + offsetField);
    return offset == 0 ? nullptr : m_record + offset;
}

namespace {

bool ValidRecord(const std::uint8_t* record, std::size_t size) noexcept {
    if (LoadU32(record + kRecordPrivateOffset) != 0) {
        return false;  // private events never leave their process
    }
    const auto listInside = [&](std::size_t offsetField) {
        const std::uint32_t offset = LoadU32(record + offsetField);
        if (offset == 0) {
            return true;
        }
        return offset >= kRecordHeaderSize && offset < size &&
               itemid::BoundedListSize(record + offset, size - offset).has_value();
    };
    if (!listInside(kRecordList1Offset) || !listInside(kRecordList2Offset)) {
        return false;
    }
    const std::uint32_t extra = LoadU32(record + kRecordExtraOffset);
    const std::uint32_t extraBytes = LoadU32(record + kRecordExtraSizeOffset);
    return extra == 0 || (extra >= kRecordHeaderSize && extra <= size && extraBytes <= size - extra);
}

}  // namespace

bool ValidateBatch(const std::uint8_t* batch, std::size_t size) noexcept {
    if (batch == nullptr || size < kBatchHeaderSize || LoadU32(batch + kBatchSizeOffset) != size) {
        return false;
    }
    const std::uint32_t count = LoadU32(batch + kBatchCountOffset);
    if (count > (size - kBatchHeaderSize) / kRecordHeaderSize) {
        return false;
    }
    std::size_t at = kBatchHeaderSize;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t remaining = size - at;
        if (remaining < kRecordHeaderSize) {
            return false;
        }
        const std::uint32_t recordSize = LoadU32(batch + at + kRecordSizeOffset);
        if (recordSize < kRecordHeaderSize || recordSize > remaining || !ValidRecord(batch + at, recordSize)) {
            return false;
        }
        at += recordSize;
    }
    return true;
}

}  // namespace vtls::notify
