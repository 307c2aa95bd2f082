#include "itemid/portable/stream_record.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "list_bytes.h"

namespace vtls::itemid {
namespace {

using test::Bytes;
using test::List;

// A byte stream whose n-th transfer can be made to fail or to fall short.
struct FakeStream {
    Bytes bytes;
    std::size_t position = 0;
    int transfers = 0;
    int failAt = -1;                 // this transfer returns failCode
    result::Code failCode = result::kFail;
    int shortAt = -1;                // this transfer moves one byte less
    result::Code shortCode = result::kOk;

    Transfer Read(std::uint8_t* into, std::uint32_t count) {
        const int index = transfers++;
        std::uint32_t n = static_cast<std::uint32_t>(std::min<std::size_t>(count, bytes.size() - position));
        if (index == shortAt && n > 0) --n;
        std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(position), n, into);
        position += n;
        if (index == failAt) return {failCode, n};
        return {index == shortAt ? shortCode : (n < count ? result::kFalse : result::kOk), n};
    }

    Transfer Write(const std::uint8_t* data, std::uint32_t count) {
        const int index = transfers++;
        if (index == failAt) return {failCode, 0};
        const std::uint32_t n = index == shortAt ? count - 1 : count;
        bytes.insert(bytes.end(), data, data + n);
        return {result::kOk, n};
    }
};

struct Allocations {
    int live = 0;
    bool fail = false;
};

struct ReadOutcome {
    result::Code code;
    Bytes list;  // the returned list with its terminator, empty when none
};

ReadOutcome Read(FakeStream& stream, Allocations& allocations) {
    std::uint8_t* out = reinterpret_cast<std::uint8_t*>(1);
    std::size_t allocated = 0;
    const result::Code code = ReadRecord(
        [&](std::uint8_t* into, std::uint32_t count) { return stream.Read(into, count); },
        [&](std::size_t bytes) -> std::uint8_t* {
            if (allocations.fail) return nullptr;
            ++allocations.live;
            allocated = bytes;
            return static_cast<std::uint8_t*>(std::malloc(bytes));
        },
        [&](std::uint8_t* memory) {
            --allocations.live;
            std::free(memory);
        },
        &out);
    ReadOutcome outcome{code, {}};
    if (out != nullptr) {
        outcome.list.assign(out, out + allocated);
        --allocations.live;
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

TEST(StreamRecord, WritesMarkerAndItemsAsTheyLie) {
    const Bytes record = Record(kTemplate);
    ASSERT_EQ(record.size(), 62u);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 8), (Bytes{0x76, 0x38, 0x47, 0x45, 0x3A, 0x00, 0x72, 0x19}));
    EXPECT_EQ(Bytes(record.begin() + 4, record.end()), Bytes(kTemplate.begin(), kTemplate.end() - 2));
    EXPECT_EQ(Record(List({})), Bytes(kRecordMarker, kRecordMarker + 4));
}

TEST(StreamRecord, ReadsBackTheFirstItemAndStopsAfterIt) {
    Allocations allocations;
    FakeStream one{Record(kTemplate)};
    const ReadOutcome single = Read(one, allocations);
    EXPECT_EQ(single.code, result::kOk);
    EXPECT_EQ(single.list, kTemplate);
    EXPECT_EQ(one.position, 62u);

    const Bytes second = test::EncodePlaceholder(0, 0);
    FakeStream two{Record(List({test::EncodeReal(5, u"Template"), second}))};
    const ReadOutcome first = Read(two, allocations);
    EXPECT_EQ(first.list, kTemplate);
    EXPECT_EQ(two.position, 62u);  // at the start of the second item
    EXPECT_EQ(allocations.live, 0);
}

TEST(StreamRecord, TwoByteItemIsAList) {
    Allocations allocations;
    FakeStream stream{Bytes{0x76, 0x38, 0x47, 0x45, 2, 0}};
    const ReadOutcome outcome = Read(stream, allocations);
    EXPECT_EQ(outcome.code, result::kOk);
    EXPECT_EQ(outcome.list, (Bytes{2, 0, 0, 0}));
}

struct FailureCase {
    const char* what;
    Bytes bytes;
    int failAt, shortAt;
    result::Code shortCode;
    bool failAllocation;
    result::Code expected;
};

class StreamRecordFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(StreamRecordFailure, ReportsAndReleasesEverything) {
    const FailureCase& c = GetParam();
    FakeStream stream{c.bytes};
    stream.failAt = c.failAt;
    stream.failCode = result::FromBits(0x80030005u);  // STG_E_ACCESSDENIED, passed through
    stream.shortAt = c.shortAt;
    stream.shortCode = c.shortCode;
    Allocations allocations;
    allocations.fail = c.failAllocation;
    const ReadOutcome outcome = Read(stream, allocations);
    EXPECT_EQ(outcome.code, c.expected) << c.what;
    EXPECT_TRUE(outcome.list.empty()) << c.what;
    EXPECT_EQ(allocations.live, 0) << c.what;
}

const Bytes kRecord = Record(kTemplate);
const result::Code kDenied = result::FromBits(0x80030005u);

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamRecordFailure,
    ::testing::Values(
        FailureCase{"empty stream", {}, -1, -1, 0, false, kStgReadFault},
        FailureCase{"three bytes", {0x76, 0x38, 0x47}, -1, -1, 0, false, kStgReadFault},
        FailureCase{"wrong marker", {0x76, 0x38, 0x47, 0x46, 10, 0}, -1, -1, 0, false, result::kFail},
        FailureCase{"marker alone", Bytes(kRecordMarker, kRecordMarker + 4), -1, -1, 0, false, result::kFail},
        FailureCase{"item size 1", {0x76, 0x38, 0x47, 0x45, 1, 0}, -1, -1, 0, false, result::kFail},
        FailureCase{"marker read fails", kRecord, 0, -1, 0, false, kDenied},
        FailureCase{"size read fails", kRecord, 1, -1, 0, false, kDenied},
        FailureCase{"size read short", {0x76, 0x38, 0x47, 0x45, 10}, -1, -1, 0, false, kStgReadFault},
        FailureCase{"item read fails", kRecord, 2, -1, 0, false, kDenied},
        FailureCase{"item read short", kRecord, -1, 2, 0, false, kStgReadFault},
        FailureCase{"item read short with S_FALSE", kRecord, -1, 2, result::kFalse, false, kStgReadFault},
        FailureCase{"allocation fails", kRecord, -1, -1, 0, true, result::kOutOfMemory}));

TEST(StreamRecord, SizeBelowTwoWinsOverAFailedRead) {
    // The size read fails after delivering nothing: the size is 0, so E_FAIL.
    FakeStream stream{Bytes(kRecordMarker, kRecordMarker + 4)};
    stream.failAt = 1;
    Allocations allocations;
    EXPECT_EQ(Read(stream, allocations).code, result::kFail);
}

TEST(StreamRecord, WriteFailuresAndShortfalls) {
    const auto write = [](int failAt, int shortAt) {
        FakeStream stream;
        stream.failAt = failAt;
        stream.failCode = kDenied;
        stream.shortAt = shortAt;
        return WriteRecord([&](const std::uint8_t* d, std::uint32_t n) { return stream.Write(d, n); },
                           kTemplate.data(), kTemplate.size() - 2);
    };
    EXPECT_EQ(write(0, -1), kDenied);
    EXPECT_EQ(write(1, -1), kDenied);
    EXPECT_EQ(write(-1, 0), kStgWriteFault);
    EXPECT_EQ(write(-1, 1), kStgWriteFault);
    EXPECT_EQ(write(-1, -1), result::kOk);
}

}  // namespace
}  // namespace vtls::itemid
