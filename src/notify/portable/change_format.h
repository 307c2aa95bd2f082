// A change event as it crosses processes: records packed back to back in a batch.
// Little-endian, no padding; every offset in a record is from the record's start.
//
// Record:                              Batch:
//   0  u32 size: 32 + len1 + len2 + cbExtra   0  u32 size: 8 + the records' sizes
//   4  u32 private flag (0 in a batch)        4  u32 number of records
//   8  u32 event code, bit 31 cleared         8  the records, oldest first
//  12  u32 flags
//  16  u32 cbExtra
//  20  u32 offset of list 1, 0 for none
//  24  u32 offset of list 2, 0 for none
//  28  u32 offset of the extra bytes, 0 for none
//  32  list 1 with its terminator, list 2 with its terminator, the extra bytes
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vtls::notify {

inline constexpr std::size_t kRecordSizeOffset = 0;
inline constexpr std::size_t kRecordPrivateOffset = 4;
inline constexpr std::size_t kRecordEventOffset = 8;
inline constexpr std::size_t kRecordFlagsOffset = 12;
inline constexpr std::size_t kRecordExtraSizeOffset = 16;
inline constexpr std::size_t kRecordList1Offset = 20;
inline constexpr std::size_t kRecordList2Offset = 24;
inline constexpr std::size_t kRecordExtraOffset = 28;
inline constexpr std::size_t kRecordHeaderSize = 32;

inline constexpr std::size_t kBatchSizeOffset = 0;
inline constexpr std::size_t kBatchCountOffset = 4;
inline constexpr std::size_t kBatchHeaderSize = 8;

// Events that change a folder's content: the shell is told to flush after them.
inline constexpr std::uint32_t kFolderChangeMask = 0x00021018;

struct ChangeFields {
    bool isPrivate;
    std::uint32_t event;  // bit 31 already cleared
    std::uint32_t flags;
    const std::uint8_t* list1;  // null for none
    std::size_t list1Bytes;     // with the terminator
    const std::uint8_t* list2;
    std::size_t list2Bytes;
    const std::uint8_t* extra;  // null: the bytes are reserved, left zero
    std::size_t extraBytes;
};

// The record's size, or nothing when it would not fit its 32-bit size field.
[[nodiscard]] std::optional<std::size_t> ChangeRecordSize(const ChangeFields& fields) noexcept;

// out holds ChangeRecordSize() bytes.
void WriteChangeRecord(std::uint8_t* out, const ChangeFields& fields) noexcept;

void WriteBatchHeader(std::uint8_t* batch, std::uint32_t size, std::uint32_t count) noexcept;

// A record inside memory that was checked (or built by this process).
class RecordView {
public:
    explicit RecordView(std::uint8_t* record) noexcept : m_record(record) {}

    [[nodiscard]] std::uint32_t Size() const noexcept;
    [[nodiscard]] bool IsPrivate() const noexcept;
    [[nodiscard]] std::uint32_t Event() const noexcept;
    // Null when the record holds no such part.
    [[nodiscard]] std::uint8_t* List1() const noexcept { return At(kRecordList1Offset); }
    [[nodiscard]] std::uint8_t* List2() const noexcept { return At(kRecordList2Offset); }
    [[nodiscard]] std::uint8_t* Extra() const noexcept { return At(kRecordExtraOffset); }
    [[nodiscard]] std::uint32_t ExtraSize() const noexcept;

private:
    [[nodiscard]] std::uint8_t* At(std::size_t offsetField) const noexcept;
    std::uint8_t* m_record;
};

// Checks a batch received from another process, whole, before any of it is
// delivered: the count, every record's size and offsets inside the batch, every
// list terminated inside its record, the extra bytes inside their record, no
// private records. The batch's size field must equal the bytes received.
[[nodiscard]] bool ValidateBatch(const std::uint8_t* batch, std::size_t size) noexcept;

}  // namespace vtls::notify
