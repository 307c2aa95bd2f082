// VtlsGetSpecialFolderLocation: the namespace root's list for its two numbers.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "namespace_lists.h"

namespace {

using vtls::test::Copy;
using vtls::test::kNamespaceRootList;

TEST(SpecialFolderLocation, BothRootNumbersGiveTheRootItemList) {
    for (const INT folder : {VTLS_FOLDER_ROOT, VTLS_FOLDER_ROOT_ALT}) {
        LPITEMIDLIST list = nullptr;
        ASSERT_EQ(VtlsGetSpecialFolderLocation(folder, &list), S_OK) << folder;
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(Copy(list), kNamespaceRootList) << folder;
        EXPECT_EQ(vtls::test::AllocatedSize(list), 20u);
        VtlsSHFree(list);
    }
}

TEST(SpecialFolderLocation, OtherNumbersAreRefusedWithANullList) {
    for (const INT folder : {1, 2, 0x8000, 0x8001, 0x8003, 0x10002, -1}) {
        LPITEMIDLIST list = reinterpret_cast<LPITEMIDLIST>(1);
        EXPECT_EQ(VtlsGetSpecialFolderLocation(folder, &list), E_INVALIDARG) << folder;
        EXPECT_EQ(list, nullptr) << folder;
    }
    EXPECT_EQ(VtlsGetSpecialFolderLocation(VTLS_FOLDER_ROOT, nullptr), E_INVALIDARG);
}

}  // namespace
