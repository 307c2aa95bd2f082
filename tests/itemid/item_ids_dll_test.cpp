// Creating and freeing item identifiers through the DLL's exports.
#include <gtest/gtest.h>

#include <vector>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;
using vtls::test::EncodePlaceholder;
using vtls::test::EncodeReal;
using vtls::test::List;

struct ListDeleter {
    void operator()(ITEMIDLIST* list) const { VtlsSHFree(list); }
};
using OwnedList = std::unique_ptr<ITEMIDLIST, ListDeleter>;

// The whole allocation, as the task allocator reports its size; empty for none.
Bytes AllocationBytes(ITEMIDLIST* created) {
    const OwnedList list(created);
    vtls::ComPtr<IMalloc> allocator;
    EXPECT_EQ(SHGetMalloc(allocator.put()), S_OK);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(list.get());
    return list ? Bytes(bytes, bytes + allocator->GetSize(list.get())) : Bytes{};
}

TEST(CreateIDs, ItemsAreExactlyTheLayout) {
    const GUID guid{0x5A5A5A5A, 0x5A5A, 0x5A5A, {0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A, 0x5A}};
    const Bytes extra{0xE1, 0xE2, 0xE3, 0xE4, 0xE5, 0xE6};
    EXPECT_EQ(AllocationBytes(VtlsCreateID(L"Ab", -3, 0xDEADBEEF, &guid, 6, extra.data())),
              List({EncodeReal(-3, u"Ab", 0x5A, 0xDEADBEEF, extra)}));
    // No name: a lone zero character.
    EXPECT_EQ(AllocationBytes(VtlsCreateID(nullptr, 1, 2, &guid, 0, nullptr)), List({EncodeReal(1, u"", 0x5A, 2)}));
    EXPECT_EQ(AllocationBytes(VtlsCreateWaitID()), List({EncodePlaceholder(0, 0)}));
    EXPECT_EQ(AllocationBytes(VtlsCreateErrorID(0x80004005, FALSE)), List({EncodePlaceholder(1, 0x80004005)}));
    EXPECT_EQ(AllocationBytes(VtlsCreateErrorID(0x80004005, 7)), List({EncodePlaceholder(2, 0x80004005)}));
}

TEST(CreateIDs, RefusesWhatCannotBeAnItem) {
    const GUID zero{};
    std::vector<std::uint8_t> extra(70000, 0x11);
    // 20 name bytes + 65,473 extra bytes is the largest item; one more byte is too many.
    const Bytes largest = AllocationBytes(VtlsCreateID(L"nnnnnnnnnn", 1, 0, &zero, 65473, extra.data()));
    ASSERT_FALSE(largest.empty());
    EXPECT_EQ(vtls::itemid::LoadU16(largest.data()), 0xFFFFu);
    EXPECT_EQ(VtlsCreateID(L"nnnnnnnnnn", 1, 0, &zero, 65474, extra.data()), nullptr);
    EXPECT_EQ(VtlsCreateID(nullptr, 1, 0, &zero, -1, extra.data()), nullptr);
    EXPECT_EQ(VtlsCreateID(nullptr, 1, 0, &zero, 4, nullptr), nullptr);
    EXPECT_EQ(VtlsCreateID(L"x", 1, 0, nullptr, 0, nullptr), nullptr);
}

TEST(ShellAllocator, AllocatesFromTheShellsTaskAllocator) {
    vtls::ComPtr<IMalloc> allocator;
    ASSERT_EQ(SHGetMalloc(allocator.put()), S_OK);
    void* memory = VtlsSHAlloc(100);
    EXPECT_EQ(allocator->DidAlloc(memory), 1);
    VtlsSHFree(memory);
    VtlsSHFree(nullptr);  // nothing to free
    // Memory from the platform's own allocator is freed by ours and the other way round.
    VtlsSHFree(CoTaskMemAlloc(8));
    CoTaskMemFree(VtlsSHAlloc(8));
}

}  // namespace
