#include "itemid/portable/stream_record.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "list_bytes.h"

namespace vtls::itemid {
namespace {

using test::Bytes;
using test::List;

const result::Code kDenied = result::FromBits(0x80030005u);  // STG_E_ACCESSDENIED, passed through

// A byte stream whose n-th transfer can be made to fail or to fall short, and
// the memory a read of it takes.
struct FakeStream {
    Bytes bytes;
    std::size_t position = 0;
    int transfers = 0;
    int failAt = -1;   // this transfer returns kDenied
    int shortAt = -1;  // this transfer moves one byte less
    result::Code shortCode = result::kOk;
    bool failAllocation = false;
    int liveAllocations = 0;

    Transfer Read(std::uint8_t* into, std::uint32_t count) {
        const int index = transfers++;
        std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(count, bytes.size() - position));
        if (index == shortAt && n > 0) --n;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position), n, into);
        position += n;
        if (index == failAt) return {kDenied, n};
        return {index == shortAt ? shortCode : (n < count ? result::kFalse : result::kOk), n};
    }

    Transfer Write(const std::uint8_t* data, std::uint32_t count) {
        const int index = transfers++;
        if (index == failAt) return {kDenied, 0};
        const std::uint32_t n = index == shortAt ? count - 1 : count;
        bytes.insert(bytes.end(), data, data + n);
        return {result::kOk, n};
    }
};

struct ReadOutcome {
    result::Code code;
    Bytes list;  // the returned list with its terminator, empty when none
};

ReadOutcome Read(FakeStream& stream) {
    std::uint8_t* out = reinterpret_cast<std::uint8_t*>(1);
    const result::Code code = ReadRecord(
        [&](std::uint8_t* into, std::uint32_t count) { return stream.Read(into, count); },
        [&](std::size_t bytes) -> std::uint8_t* {
            if (stream.failAllocation) return nullptr;
            ++stream.liveAllocations;
            return static_cast<std::uint8_t*>(std::malloc(bytes));
        },
        [&](std::uint8_t* memory) {
            --stream.liveAllocations;
            std::free(memory);
        },
        &out);
    ReadOutcome outcome{code, {}};
    if (out != nullptr) {
        outcome.list = test::ListBytes(out);
        --stream.liveAllocations;
        std::free(out);
    }
    return outcome;
}

Bytes Record(const Bytes& list) {
    FakeStream stream;
    EXPECT_EQ(WriteRecord([&](const std::uint8_t* d, std::uint32_t n) { return stream.Write(d, n); }, list.data(),
                          list.size() >= 2 ? list.size() - 2 : 0),
              result::kOk);
    return stream.bytes;
}

const Bytes kTemplate = List({test::EncodeReal(5, u"Template")});

TEST(StreamRecord, WritesMarkerAndItemsAsTheyLieAndReportsFailures) {
    const Bytes record = Record(kTemplate);
    ASSERT_EQ(record.size(), 62u);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 8), (Bytes{0x76, 0x38, 0x47, 0x45, 0x3A, 0x00, 0x72, 0x19}));
    EXPECT_EQ(Bytes(record.begin() + 4, record.end()), Bytes(kTemplate.begin(), kTemplate.end() - 2));
    EXPECT_EQ(Record(List({})), Bytes(kRecordMarker, kRecordMarker + 4));
    // Failures of the stream pass through; a shortfall is a write fault.
    const auto write = [](int failAt, int shortAt) {
        FakeStream stream;
        stream.failAt = failAt;
        stream.shortAt = shortAt;
        return WriteRecord([&](const std::uint8_t* d, std::uint32_t n) { return stream.Write(d, n); },
                           kTemplate.data(), kTemplate.size() - 2);
    };
    EXPECT_EQ(write(0, -1), kDenied);
    EXPECT_EQ(write(1, -1), kDenied);
    EXPECT_EQ(write(-1, 0), kStgWriteFault);
    EXPECT_EQ(write(-1, 1), kStgWriteFault);
}

TEST(StreamRecord, ReadsBackTheFirstItemAndStopsAfterIt) {
    FakeStream two{Record(List({test::EncodeReal(5, u"Template"), test::EncodePlaceholder(0, 0)}))};
    const ReadOutcome first = Read(two);
    EXPECT_EQ(first.code, result::kOk);
    EXPECT_EQ(first.list, kTemplate);
    EXPECT_EQ(two.position, 62u);  // at the start of the second item
    // The smallest item, its size alone, is a list.
    FakeStream smallest{Bytes{0x76, 0x38, 0x47, 0x45, 2, 0}};
    EXPECT_EQ(Read(smallest).list, (Bytes{2, 0, 0, 0}));
    EXPECT_EQ(two.liveAllocations + smallest.liveAllocations, 0);
}

TEST(StreamRecord, ReadFailuresAreReportedAndReleaseEverything) {
    const Bytes record = Record(kTemplate);
    const struct {
        const char* what;
        Bytes bytes;
        int failAt, shortAt;
        result::Code shortCode;
        bool failAllocation;
        result::Code expected;
    } cases[] = {
        {"three bytes", {0x76, 0x38, 0x47}, -1, -1, 0, false, kStgReadFault},
        {"wrong marker", {0x76, 0x38, 0x47, 0x46, 10, 0}, -1, -1, 0, false, result::kFail},
        {"marker alone", Bytes(kRecordMarker, kRecordMarker + 4), -1, -1, 0, false, result::kFail},
        {"item size 1", {0x76, 0x38, 0x47, 0x45, 1, 0}, -1, -1, 0, false, result::kFail},
        {"marker read fails", record, 0, -1, 0, false, kDenied},
        {"size read fails", record, 1, -1, 0, false, kDenied},
        {"size read fails with nothing: size 0", Bytes(kRecordMarker, kRecordMarker + 4), 1, -1, 0, false,
         result::kFail},
        {"size read short", {0x76, 0x38, 0x47, 0x45, 10}, -1, -1, 0, false, kStgReadFault},
        {"item read fails", record, 2, -1, 0, false, kDenied},
        {"item read short", record, -1, 2, 0, false, kStgReadFault},
        {"item read short with S_FALSE", record, -1, 2, result::kFalse, false, kStgReadFault},
        {"allocation fails", record, -1, -1, 0, true, result::kOutOfMemory}};
    for (const auto& c : cases) {
        FakeStream stream{c.bytes};
        stream.failAt = c.failAt;
        stream.shortAt = c.shortAt;
        stream.shortCode = c.shortCode;
        stream.failAllocation = c.failAllocation;
        const ReadOutcome outcome = Read(stream);
        EXPECT_EQ(outcome.code, c.expected) << c.what;
        EXPECT_TRUE(outcome.list.empty()) << c.what;
        EXPECT_EQ(stream.liveAllocations, 0) << c.what;
    }
}

}  // namespace
}  // namespace vtls::itemid
