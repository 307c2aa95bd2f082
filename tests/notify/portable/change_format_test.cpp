#include "notify/portable/change_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "list_bytes.h"
#include "support/malformed_messages.h"

namespace vtls::notify {
namespace {

using test::Bytes;
using test::List;

const Bytes kList1 = List({test::EncodeReal(2, u"host")});
const Bytes kList2 = List({test::EncodeReal(6, u"item")});

Bytes Record(bool isPrivate, std::uint32_t event, const Bytes* list1, const Bytes* list2, const Bytes& extra,
             bool extraPointer = true) {
    const ChangeFields fields{isPrivate,
                              event,
                              0x1000,
                              list1 ? list1->data() : nullptr,
                              list1 ? list1->size() : 0,
                              list2 ? list2->data() : nullptr,
                              list2 ? list2->size() : 0,
                              extraPointer ? extra.data() : nullptr,
                              extra.size()};
    const auto size = ChangeRecordSize(fields);
    EXPECT_TRUE(size.has_value());
    Bytes record(*size, 0xCD);
    WriteChangeRecord(record.data(), fields);
    return record;
}

Bytes Batch(const std::vector<Bytes>& records) {
    Bytes batch(kBatchHeaderSize);
    for (const Bytes& record : records) batch.insert(batch.end(), record.begin(), record.end());
    WriteBatchHeader(batch.data(), static_cast<std::uint32_t>(batch.size()), static_cast<std::uint32_t>(records.size()));
    return batch;
}

TEST(ChangeFormat, RecordLaysOutHeaderListsAndExtraBytes) {
    const Bytes extra{9, 8, 7};
    const Bytes record = Record(false, 0x1000, &kList1, &kList2, extra);
    ASSERT_EQ(record.size(), 32 + kList1.size() + kList2.size() + 3);
    EXPECT_EQ(itemid::LoadU32(record.data()), record.size());
    EXPECT_EQ(itemid::LoadU32(record.data() + 4), 0u);
    EXPECT_EQ(itemid::LoadU32(record.data() + 8), 0x1000u);
    EXPECT_EQ(itemid::LoadU32(record.data() + 12), 0x1000u);
    EXPECT_EQ(itemid::LoadU32(record.data() + 16), 3u);
    EXPECT_EQ(itemid::LoadU32(record.data() + 20), 32u);
    EXPECT_EQ(itemid::LoadU32(record.data() + 24), 32u + kList1.size());
    EXPECT_EQ(itemid::LoadU32(record.data() + 28), 32u + kList1.size() + kList2.size());
    EXPECT_EQ(Bytes(record.begin() + 32, record.begin() + 32 + static_cast<long>(kList1.size())), kList1);
    EXPECT_EQ(Bytes(record.end() - 3, record.end()), extra);
}

TEST(ChangeFormat, MissingPartsHaveOffsetZero) {
    const Bytes onlySecond = Record(false, 2, nullptr, &kList2, {});
    EXPECT_EQ(itemid::LoadU32(onlySecond.data() + 20), 0u);
    EXPECT_EQ(itemid::LoadU32(onlySecond.data() + 24), 32u);
    EXPECT_EQ(itemid::LoadU32(onlySecond.data() + 28), 0u);
    // Extra bytes without a pointer are reserved, pointed at, and zero.
    Bytes reserved = Record(false, 2, nullptr, nullptr, Bytes(5, 0x77), /*extraPointer=*/false);
    EXPECT_EQ(itemid::LoadU32(reserved.data() + 28), 32u);
    EXPECT_EQ(Bytes(reserved.begin() + 32, reserved.end()), Bytes(5, 0));
    const RecordView view(reserved.data());
    EXPECT_EQ(view.ExtraSize(), 5u);
    EXPECT_EQ(view.List1(), nullptr);
}

TEST(ChangeFormat, ValidBatchesPassAndMalformedOnesAreRefusedWhole) {
    const Bytes batch = Batch({Record(false, 8, &kList1, nullptr, {}), Record(false, 0, nullptr, nullptr, {1}),
                               Record(false, 0x20000, &kList1, &kList2, {1, 2, 3, 4})});
    EXPECT_TRUE(ValidateBatch(batch.data(), batch.size()));
    const Bytes empty = Batch({});
    EXPECT_TRUE(ValidateBatch(empty.data(), empty.size()));
    const Bytes good = test::GoodBatch();
    EXPECT_TRUE(ValidateBatch(good.data(), good.size()));
    for (const auto& bad : test::MalformedBatches()) EXPECT_FALSE(ValidateBatch(bad.bytes.data(), bad.bytes.size())) << bad.what;
    EXPECT_FALSE(ValidateBatch(nullptr, 8));
}

TEST(ChangeFormat, RecordSizeRefusesWhatItsFieldCannotHold) {
    const ChangeFields huge{false, 1, 0, nullptr, 0, nullptr, 0, nullptr, 0xFFFFFFF0u};
    EXPECT_FALSE(ChangeRecordSize(huge).has_value());
}

}  // namespace
}  // namespace vtls::notify
