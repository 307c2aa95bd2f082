// A stream record from untrusted bytes, with stream failures and shortfalls
// chosen by the input: the reader must stay inside what it was given, free what
// it allocated on every failure, and give back an item that writes as it read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "itemid/portable/stream_record.h"

using vtls::itemid::Transfer;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    const std::uint8_t faults = data[0];  // bits 0-1: which read fails, bits 2-3: which falls short
    const std::uint8_t* stream = data + 1;
    const std::size_t length = size - 1;
    std::size_t position = 0;
    int reads = 0;
    int live = 0;

    const auto read = [&](std::uint8_t* into, std::uint32_t count) {
        const int index = ++reads;
        std::size_t n = count < length - position ? count : length - position;
        if (index == ((faults >> 2) & 3) && n > 0) --n;
        std::memcpy(into, stream + position, n);
        position += n;
        const auto code = index == (faults & 3) ? vtls::result::kFail : vtls::result::kOk;
        return Transfer{code, static_cast<std::uint32_t>(n)};
    };
    const auto allocate = [&](std::size_t bytes) {
        ++live;
        return static_cast<std::uint8_t*>(std::malloc(bytes));
    };
    const auto release = [&](std::uint8_t* memory) {
        --live;
        std::free(memory);
    };

    std::uint8_t* item = nullptr;
    const auto code = vtls::itemid::ReadRecord(read, allocate, release, &item);
    if ((code == vtls::result::kOk) != (item != nullptr)) std::abort();
    if (item == nullptr) {
        if (live != 0) std::abort();
        return 0;
    }
    // The item and its terminator, then the record written from it equals the
    // bytes that were consumed.
    const std::size_t itemSize = vtls::itemid::LoadU16(item);
    if (vtls::itemid::LoadU16(item + itemSize) != 0) std::abort();
    std::vector<std::uint8_t> written;
    const auto write = [&](const std::uint8_t* bytes, std::uint32_t count) {
        written.insert(written.end(), bytes, bytes + count);
        return Transfer{vtls::result::kOk, count};
    };
    if (vtls::itemid::WriteRecord(write, item, itemSize) != vtls::result::kOk) std::abort();
    if (written.size() != position || std::memcmp(written.data(), stream, position) != 0) std::abort();
    release(item);
    return 0;
}
