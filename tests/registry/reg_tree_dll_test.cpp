// Recursive copy and delete through the DLL's exports, in a throw-away key.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "VantrelSh.h"
#include "scratch_key.h"

namespace {

using vtls::test::Bytes;
using vtls::test::DenyEnumeration;
using vtls::test::KeyClass;
using vtls::test::KeyExists;
using vtls::test::MakeKey;
using vtls::test::PutValue;
using vtls::test::ScratchKey;
using vtls::test::Snapshot;
using vtls::test::TreeSnapshot;

constexpr HRESULT kStgFileNotFound = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT kStgAccessDenied = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT kStgAlreadyExists = static_cast<HRESULT>(0x80030050u);
constexpr GUID kTag = {0x0A0B0C0D, 0x1111, 0x2222, {0x33, 0x33, 0x44, 0x44, 0x55, 0x55, 0x66, 0x66}};

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<BYTE>(i * 13 + 5);
    }
    return bytes;
}

class RegTree : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(scratch_.get(), nullptr); }

    // Src with classes, nested subkeys and values of several types, the largest
    // exactly as big as a copy can carry.
    void BuildSource() {
        HKEY key = nullptr;
        ASSERT_EQ(VtlsRegCreateKey(scratch_.get(), L"Src", &key, KEY_ALL_ACCESS, &kTag), S_OK);
        VtlsRegCloseKey(key);
        HKEY root = scratch_.get();
        ASSERT_EQ(PutValue(root, L"Src", nullptr, REG_SZ, Bytes(L"default")), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root, L"Src", L"Dword", REG_DWORD, {4, 3, 2, 1}), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root, L"Src", L"Big", REG_BINARY, Pattern(4096)), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root, L"Src", L"Multi", REG_MULTI_SZ, Bytes(std::wstring(L"a\0bc\0", 5))),
                  ERROR_SUCCESS);
        ASSERT_EQ(MakeKey(root, L"Src\\One", L"class one"), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root, L"Src\\One", L"Empty", REG_BINARY, {}), ERROR_SUCCESS);
        ASSERT_EQ(MakeKey(root, L"Src\\One\\Deep\\Deeper", L"{not-a-guid}"), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root, L"Src\\One\\Deep\\Deeper", L"Leaf", REG_EXPAND_SZ, Bytes(L"%TEMP%")),
                  ERROR_SUCCESS);
        ASSERT_EQ(MakeKey(root, L"Src\\Two"), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root, L"Src\\Two", L"Q", REG_QWORD, Pattern(8)), ERROR_SUCCESS);
    }

    ScratchKey scratch_;
};

TEST_F(RegTree, CopyReproducesNamesTypesDataAndClasses) {
    BuildSource();
    const TreeSnapshot before = Snapshot(scratch_.get(), L"Src");
    ASSERT_EQ(before.subkeys.size(), 2u);
    ASSERT_EQ(before.values.size(), 4u);

    HKEY copy = nullptr;
    ASSERT_EQ(VtlsRegCopyKey(scratch_.get(), L"Src", L"Dst", &copy), S_OK);
    ASSERT_NE(copy, nullptr);
    EXPECT_TRUE(Snapshot(scratch_.get(), L"Dst") == before);
    EXPECT_TRUE(Snapshot(scratch_.get(), L"Src") == before);
    EXPECT_EQ(KeyClass(scratch_.get(), L"Dst"), L"{0A0B0C0D-1111-2222-3333-444455556666}");
    EXPECT_EQ(KeyClass(scratch_.get(), L"Dst\\One\\Deep\\Deeper"), L"{not-a-guid}");

    // The handed-back key is the open copy.
    const BYTE mark[1] = {7};
    EXPECT_EQ(VtlsRegSetValue(copy, L"Mark", REG_BINARY, mark, 1), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(copy), S_OK);
    EXPECT_EQ(Snapshot(scratch_.get(), L"Dst").values.count(L"Mark"), 1u);

    // The GUID tag survives and reads back through enumeration.
    wchar_t name[64];
    GUID tag{};
    bool found = false;
    for (DWORD index = 0; VtlsRegEnumKey(scratch_.get(), index, name, 64, &tag) == S_OK; ++index) {
        if (std::wstring(name) == L"Dst") {
            found = IsEqualGUID(tag, kTag) != 0;
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(RegTree, CopyOntoAnExistingNameChangesNothing) {
    BuildSource();
    ASSERT_EQ(MakeKey(scratch_.get(), L"Dst", L"kept class"), ERROR_SUCCESS);
    ASSERT_EQ(PutValue(scratch_.get(), L"Dst", L"Kept", REG_SZ, Bytes(L"yes")), ERROR_SUCCESS);
    const TreeSnapshot source = Snapshot(scratch_.get(), L"Src");
    const TreeSnapshot destination = Snapshot(scratch_.get(), L"Dst");

    HKEY copy = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(VtlsRegCopyKey(scratch_.get(), L"Src", L"Dst", &copy), kStgAlreadyExists);
    EXPECT_EQ(copy, nullptr);
    EXPECT_TRUE(Snapshot(scratch_.get(), L"Src") == source);
    EXPECT_TRUE(Snapshot(scratch_.get(), L"Dst") == destination);
}

TEST_F(RegTree, CopyOfAMissingSourceIsFileNotFound) {
    HKEY copy = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(VtlsRegCopyKey(scratch_.get(), L"Nothing", L"Dst", &copy), kStgFileNotFound);
    EXPECT_EQ(copy, nullptr);
    EXPECT_FALSE(KeyExists(scratch_.get(), L"Dst"));
}

TEST_F(RegTree, OversizedValueDeepInTheTreeRollsTheCopyBack) {
    BuildSource();
    // Zz sorts after One and Two, so both are copied before the failure.
    ASSERT_EQ(MakeKey(scratch_.get(), L"Src\\Zz\\Inner"), ERROR_SUCCESS);
    ASSERT_EQ(PutValue(scratch_.get(), L"Src\\Zz\\Inner", L"Huge", REG_BINARY, Pattern(4097)), ERROR_SUCCESS);
    HKEY copy = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(VtlsRegCopyKey(scratch_.get(), L"Src", L"Dst", &copy), E_UNEXPECTED);
    EXPECT_EQ(copy, nullptr);
    EXPECT_FALSE(KeyExists(scratch_.get(), L"Dst"));
    EXPECT_TRUE(KeyExists(scratch_.get(), L"Src\\Zz\\Inner"));
}

TEST_F(RegTree, UnlistableSubkeyRollsTheCopyBack) {
    BuildSource();
    ASSERT_EQ(MakeKey(scratch_.get(), L"Src\\Two\\Locked\\Below"), ERROR_SUCCESS);
    DenyEnumeration deny(scratch_.get(), L"Src\\Two\\Locked");
    ASSERT_EQ(deny.result(), ERROR_SUCCESS);
    HKEY copy = nullptr;
    EXPECT_EQ(VtlsRegCopyKey(scratch_.get(), L"Src", L"Dst", &copy), kStgAccessDenied);
    EXPECT_EQ(copy, nullptr);
    EXPECT_FALSE(KeyExists(scratch_.get(), L"Dst"));
}

TEST_F(RegTree, CopyUnderAVolatileParentFailsAndLeavesNothing) {
    // A non-volatile key (every copy is one) cannot live under a volatile key.
    ASSERT_EQ(MakeKey(scratch_.get(), L"Vol", nullptr, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    ASSERT_EQ(MakeKey(scratch_.get(), L"Vol\\Src\\Sub", nullptr, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    HKEY parent = nullptr;
    ASSERT_EQ(RegOpenKeyExW(scratch_.get(), L"Vol", 0, KEY_ALL_ACCESS, &parent), ERROR_SUCCESS);
    HKEY copy = nullptr;
    EXPECT_EQ(VtlsRegCopyKey(parent, L"Src", L"Dst", &copy), E_UNEXPECTED);  // 1021
    EXPECT_EQ(copy, nullptr);
    EXPECT_FALSE(KeyExists(parent, L"Dst"));
    RegCloseKey(parent);
}

TEST_F(RegTree, DeleteRefusesNullAndEmptyArguments) {
    ASSERT_EQ(MakeKey(scratch_.get(), L"Keep"), ERROR_SUCCESS);
    EXPECT_EQ(VtlsRegDeleteKey(nullptr, L"Keep"), E_INVALIDARG);
    EXPECT_EQ(VtlsRegDeleteKey(scratch_.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(VtlsRegDeleteKey(scratch_.get(), L""), E_INVALIDARG);
    EXPECT_TRUE(KeyExists(scratch_.get(), L"Keep"));
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, scratch_.path()));
}

TEST_F(RegTree, DeleteRemovesLeavesAndWholeTrees) {
    ASSERT_EQ(MakeKey(scratch_.get(), L"Leaf"), ERROR_SUCCESS);
    EXPECT_EQ(VtlsRegDeleteKey(scratch_.get(), L"Leaf"), S_OK);
    EXPECT_FALSE(KeyExists(scratch_.get(), L"Leaf"));
    EXPECT_EQ(VtlsRegDeleteKey(scratch_.get(), L"Leaf"), kStgFileNotFound);

    BuildSource();
    EXPECT_EQ(VtlsRegDeleteKey(scratch_.get(), L"Src"), S_OK);
    EXPECT_FALSE(KeyExists(scratch_.get(), L"Src"));
}

TEST_F(RegTree, DeleteRemovesAllItCanAroundABlockedBranch) {
    HKEY root = scratch_.get();
    for (const wchar_t* path : {L"T\\A\\B\\C", L"T\\A\\D\\E", L"T\\A\\F", L"T\\G"}) {
        ASSERT_EQ(MakeKey(root, path), ERROR_SUCCESS);
    }
    ASSERT_EQ(PutValue(root, L"T\\A\\D", L"V", REG_SZ, Bytes(L"x")), ERROR_SUCCESS);
    DenyEnumeration deny(root, L"T\\A\\B");
    ASSERT_EQ(deny.result(), ERROR_SUCCESS);

    EXPECT_EQ(VtlsRegDeleteKey(root, L"T"), kStgAccessDenied);
    // The path down to the blocked key stays; every deletable sibling is gone.
    EXPECT_TRUE(KeyExists(root, L"T\\A\\B\\C"));
    EXPECT_FALSE(KeyExists(root, L"T\\A\\D"));
    EXPECT_FALSE(KeyExists(root, L"T\\A\\F"));
    EXPECT_FALSE(KeyExists(root, L"T\\G"));
}

}  // namespace
