// Creating, measuring and freeing item identifiers through the DLL's exports.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "base/portable/byte_order.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;

struct ListDeleter {
    void operator()(ITEMIDLIST* list) const { VtlsSHFree(list); }
};
using OwnedList = std::unique_ptr<ITEMIDLIST, ListDeleter>;

// The whole allocation, as the task allocator reports its size.
Bytes AllocationBytes(const ITEMIDLIST* list) {
    vtls::ComPtr<IMalloc> allocator;
    EXPECT_EQ(SHGetMalloc(allocator.put()), S_OK);
    const SIZE_T size = allocator->GetSize(const_cast<ITEMIDLIST*>(list));
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(list);
    return Bytes(bytes, bytes + size);
}

TEST(CreateIDs, RealItemIsExactlyTheLayout) {
    const GUID zero{};
    OwnedList list(VtlsCreateID(L"Template", 5, 0, &zero, 0, nullptr));
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(AllocationBytes(list.get()), vtls::test::List({vtls::test::EncodeReal(5, u"Template")}));
}

TEST(CreateIDs, EveryFieldOfARealItem) {
    const GUID guid{0x01020304, 0x0506, 0x0708, {9, 10, 11, 12, 13, 14, 15, 16}};
    const Bytes extra{0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};
    OwnedList list(VtlsCreateID(L"Ab", -3, 0xDEADBEEF, &guid, 6, extra.data()));
    ASSERT_NE(list, nullptr);
    const Bytes bytes = AllocationBytes(list.get());
    ASSERT_EQ(bytes.size(), 54u);
    EXPECT_EQ(vtls::itemid::LoadU16(bytes.data()), 52u);
    EXPECT_EQ(vtls::itemid::LoadI32(bytes.data() + 10), 3);
    EXPECT_EQ(vtls::itemid::LoadI32(bytes.data() + 14), -3);
    EXPECT_EQ(std::memcmp(bytes.data() + 18, &guid, 16), 0);
    EXPECT_EQ(vtls::itemid::LoadU32(bytes.data() + 34), 0xDEADBEEFu);
    EXPECT_EQ(Bytes(bytes.begin() + 38, bytes.begin() + 44), (Bytes{'A', 0, 'b', 0, 0, 0}));
    EXPECT_EQ(Bytes(bytes.begin() + 46, bytes.begin() + 52), extra);
    EXPECT_EQ(Bytes(bytes.begin() + 52, bytes.end()), (Bytes{0, 0}));
}

TEST(CreateIDs, NullNameGivesALoneZeroCharacter) {
    const GUID zero{};
    OwnedList list(VtlsCreateID(nullptr, 1, 2, &zero, 0, nullptr));
    ASSERT_NE(list, nullptr);
    const Bytes bytes = AllocationBytes(list.get());
    EXPECT_EQ(bytes.size(), 44u);
    EXPECT_EQ(vtls::itemid::LoadU16(bytes.data() + 38), 0u);
}

TEST(CreateIDs, Placeholders) {
    OwnedList wait(VtlsCreateWaitID());
    OwnedList error(VtlsCreateErrorID(0x80004005, FALSE));
    OwnedList flagged(VtlsCreateErrorID(0x80004005, 7));
    ASSERT_TRUE(wait && error && flagged);
    EXPECT_EQ(AllocationBytes(wait.get()), vtls::test::List({vtls::test::EncodePlaceholder(0, 0)}));
    EXPECT_EQ(AllocationBytes(error.get()), vtls::test::List({vtls::test::EncodePlaceholder(1, 0x80004005)}));
    EXPECT_EQ(AllocationBytes(flagged.get()), vtls::test::List({vtls::test::EncodePlaceholder(2, 0x80004005)}));
}

TEST(CreateIDs, RefusesWhatCannotBeAnItem) {
    const GUID zero{};
    std::vector<std::uint8_t> extra(70000, 0x11);
    std::wstring name(10, L'n');
    // 20 name bytes + 65,473 extra bytes is the largest item; one more byte is too many.
    OwnedList largest(VtlsCreateID(name.c_str(), 1, 0, &zero, 65473, extra.data()));
    ASSERT_NE(largest, nullptr);
    EXPECT_EQ(vtls::itemid::LoadU16(reinterpret_cast<const std::uint8_t*>(largest.get())), 0xFFFFu);
    EXPECT_EQ(VtlsCreateID(name.c_str(), 1, 0, &zero, 65474, extra.data()), nullptr);
    EXPECT_EQ(VtlsCreateID(nullptr, 1, 0, &zero, -1, extra.data()), nullptr);
    EXPECT_EQ(VtlsCreateID(nullptr, 1, 0, &zero, 4, nullptr), nullptr);
    EXPECT_EQ(VtlsCreateID(L"x", 1, 0, nullptr, 0, nullptr), nullptr);
}

TEST(ShellAllocator, AllocatesFromTheShellsTaskAllocator) {
    void* memory = VtlsSHAlloc(100);
    ASSERT_NE(memory, nullptr);
    vtls::ComPtr<IMalloc> allocator;
    ASSERT_EQ(SHGetMalloc(allocator.put()), S_OK);
    EXPECT_EQ(allocator->DidAlloc(memory), 1);
    EXPECT_GE(allocator->GetSize(memory), 100u);
    VtlsSHFree(memory);
    VtlsSHFree(nullptr);  // nothing to free
    // Memory from the platform's own allocator is freed by ours and the other way round.
    VtlsSHFree(CoTaskMemAlloc(8));
    CoTaskMemFree(VtlsSHAlloc(8));
}

}  // namespace
