// An item identifier list kept in a stream: the marker "v8GE", then the list's
// items as they lie in memory, without count or terminator. A reader takes back
// the first item only and leaves the stream right after it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/portable/result_codes.h"
#include "base/portable/byte_order.h"
#include "itemid/portable/item_layout.h"

namespace vtls::itemid {

inline constexpr std::uint8_t kRecordMarker[4] = {0x76, 0x38, 0x47, 0x45};  // "v8GE"

inline constexpr result::Code kStgWriteFault = result::FromBits(0x8003001Du);
inline constexpr result::Code kStgReadFault = result::FromBits(0x8003001Eu);

// Stream access as IStream offers it: a result and the number of bytes moved.
struct Transfer {
    result::Code code;
    std::uint32_t bytes;
};

// write(data, count) -> Transfer.
template <typename Write>
[[nodiscard]] result::Code WriteRecord(Write&& write, const std::uint8_t* list, std::size_t listSize) noexcept {
    const auto put = [&](const std::uint8_t* data, std::uint32_t count) {
        const Transfer done = write(data, count);
        if (!result::Succeeded(done.code)) {
            return done.code;
        }
        return done.bytes < count ? kStgWriteFault : result::kOk;
    };
    if (const result::Code code = put(kRecordMarker, sizeof(kRecordMarker)); code != result::kOk) {
        return code;
    }
    return put(list, static_cast<std::uint32_t>(listSize));
}

// read(into, count) -> Transfer; allocate(bytes) -> uint8_t* or null; release(p).
// On success *out holds the first item and a terminator, owned by the caller.
template <typename Read, typename Allocate, typename Release>
[[nodiscard]] result::Code ReadRecord(Read&& read, Allocate&& allocate, Release&& release,
                                      std::uint8_t** out) noexcept {
    *out = nullptr;
    const auto readFully = [&](std::uint8_t* into, std::uint32_t count) {
        const Transfer done = read(into, count);
        if (!result::Succeeded(done.code)) {
            return done.code;
        }
        return done.bytes < count ? kStgReadFault : result::kOk;
    };

    std::uint8_t marker[sizeof(kRecordMarker)] = {};
    if (const result::Code code = readFully(marker, sizeof(marker)); code != result::kOk) {
        return code;
    }
    if (std::memcmp(marker, kRecordMarker, sizeof(marker)) != 0) {
        return result::kFail;
    }

    // A size below 2 cannot even hold itself, whatever the read reported.
    std::uint8_t sizeBytes[2] = {};
    const result::Code sizeRead = readFully(sizeBytes, sizeof(sizeBytes));
    const std::uint16_t itemSize = LoadU16(sizeBytes);
    if (itemSize < 2) {
        return result::kFail;
    }
    if (sizeRead != result::kOk) {
        return sizeRead;
    }

    std::uint8_t* const item = allocate(std::size_t{itemSize} + kTerminatorSize);
    if (item == nullptr) {
        return result::kOutOfMemory;
    }
    StoreU16(item, itemSize);
    if (const result::Code code = readFully(item + 2, itemSize - 2u); code != result::kOk) {
        release(item);
        return code;
    }
    StoreU16(item + itemSize, 0);
    *out = item;
    return result::kOk;
}

}  // namespace vtls::itemid
