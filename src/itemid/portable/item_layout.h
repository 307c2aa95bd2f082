// The library's item identifier: one item of a shell item identifier list.
// All offsets are from the item's start; numbers are little-endian.
//
//   0  cb         u16  whole item size, counting itself
//   2  signature  u32  0x25031972
//   6  reserved   u32
//  10  kind       i32  wait / error / error-with-flag / real
//  14  type       i32  real items: the caller's item type
//  18  guid       16   real items: the caller's GUID, memory order
//  34  data       u32  real items: the caller's value, never interpreted
//  38  name       UTF-16 with its zero, or a lone zero      (real items)
//  38  value      u32  0, or the error value                 (placeholders)
//  40+name bytes  gap  u16
//  42+name bytes  extra bytes, copied unchanged              (real items)
#pragma once

#include <cstddef>
#include <cstdint>

namespace vtls::itemid {

inline constexpr std::size_t kCbOffset = 0;
inline constexpr std::size_t kSignatureOffset = 2;
inline constexpr std::size_t kReservedOffset = 6;
inline constexpr std::size_t kKindOffset = 10;
inline constexpr std::size_t kTypeOffset = 14;
inline constexpr std::size_t kGuidOffset = 18;
inline constexpr std::size_t kGuidSize = 16;
inline constexpr std::size_t kDataOffset = 34;
inline constexpr std::size_t kNameOffset = 38;
inline constexpr std::size_t kValueOffset = 38;

// A placeholder's size, and a real item's size without its name bytes and extra bytes:
// the fields, the name's terminating zero and the gap.
inline constexpr std::size_t kFixedSize = 42;
// Offset of the extra bytes, past the name bytes.
inline constexpr std::size_t kExtraOffsetBase = 42;

inline constexpr std::size_t kTerminatorSize = 2;
inline constexpr std::uint32_t kSignature = 0x25031972;

// The 16-bit size field bounds an item at 65,535 bytes.
inline constexpr std::size_t kMaxItemSize = 0xFFFF;
inline constexpr std::size_t kMaxNameAndExtraBytes = kMaxItemSize - kFixedSize;  // 65,493

enum class Kind : std::int32_t {
    kWait = 0,
    kError = 1,
    kErrorFlagged = 2,
    kReal = 3,
};

}  // namespace vtls::itemid
