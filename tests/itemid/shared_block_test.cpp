// Shared blocks: global memory or paging-file mappings, chosen by the name argument.
#include "itemid/shared_block.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/unique_resource.h"

namespace vtls {
namespace {

std::wstring UniqueName(const wchar_t* stem) {
    return std::wstring(stem) + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(GetTickCount());
}

TEST(SharedBlock, NullNameIsFixedGlobalMemory) {
    const HANDLE block = CreateSharedBlock(64, nullptr);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 64u);
    void* contents = LockSharedBlock(block, nullptr);
    EXPECT_EQ(contents, block);
    UnlockSharedBlock(block, contents, nullptr);
    EXPECT_EQ(GlobalFlags(block) & GMEM_LOCKCOUNT, 0u);
    EXPECT_EQ(GlobalFree(block), nullptr);
}

TEST(SharedBlock, PagefileIsAnUnnamedMapping) {
    const UniqueHandle block(CreateSharedBlock(4096, kUnnamedMapping));
    ASSERT_TRUE(block);
    // No object of that name was created.
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, L"pagefile"), nullptr);
    void* contents = LockSharedBlock(block.get(), L"any text selects the mapping");
    ASSERT_NE(contents, nullptr);
    std::memset(contents, 0x5A, 4096);
    UnlockSharedBlock(block.get(), contents, L"x");
}

TEST(SharedBlock, OtherNamesNameTheMapping) {
    // Case matters: "PageFile" is a name, not the request for an unnamed mapping.
    const std::wstring name = UniqueName(L"PageFile");
    const UniqueHandle first(CreateSharedBlock(4096, name.c_str()));
    ASSERT_TRUE(first);
    const UniqueHandle opened(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()));
    EXPECT_TRUE(opened);

    // A second create of the same name returns the same mapping, size unchanged.
    SetLastError(0);
    const UniqueHandle second(CreateSharedBlock(8192, name.c_str()));
    ASSERT_TRUE(second);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    auto* a = static_cast<std::uint8_t*>(LockSharedBlock(first.get(), name.c_str()));
    auto* b = static_cast<std::uint8_t*>(LockSharedBlock(second.get(), name.c_str()));
    ASSERT_TRUE(a && b);
    a[100] = 0x77;
    EXPECT_EQ(b[100], 0x77);
    MEMORY_BASIC_INFORMATION info{};
    VirtualQuery(b, &info, sizeof(info));
    EXPECT_EQ(info.RegionSize, 4096u);
    UnlockSharedBlock(first.get(), a, name.c_str());
    UnlockSharedBlock(second.get(), b, name.c_str());
}

TEST(SharedBlock, NameTakenByAnotherKindOfObjectFails) {
    // Under Wine the clash is reported as ERROR_INVALID_HANDLE (6); Windows says
    // ERROR_INVALID_HANDLE too for a name held by an event. Either way: no block.
    const std::wstring name = UniqueName(L"EventNamed");
    const UniqueHandle event(CreateEventW(nullptr, TRUE, FALSE, name.c_str()));
    ASSERT_TRUE(event);
    EXPECT_EQ(CreateSharedBlock(4096, name.c_str()), nullptr);
    EXPECT_NE(GetLastError(), 0u);
}

}  // namespace
}  // namespace vtls
