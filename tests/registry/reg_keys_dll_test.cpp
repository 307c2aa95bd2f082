// Registry keys and values through the DLL's exports, in a throw-away key.
#include <gtest/gtest.h>

#include <cstring>
#include <cwctype>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "scratch_key.h"

namespace {

using vtls::test::Bytes;
using vtls::test::KeyClass;
using vtls::test::KeyExists;
using vtls::test::MakeKey;
using vtls::test::ScratchKey;

constexpr HRESULT kStgFileNotFound = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT kStgAlreadyExists = static_cast<HRESULT>(0x80030050u);

// {01234567-89AB-CDEF-0123-456789ABCDEF}
constexpr GUID kTagA = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
constexpr GUID kTagB = {0xFEDCBA98, 0x7654, 0x3210, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};

class RegKeys : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(scratch_.get(), nullptr); }
    ScratchKey scratch_;
};

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD chars = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &chars) ? std::wstring(name, chars) : std::wstring();
}

TEST(RegConnect, NullOrEmptyMachineGivesTheRootItself) {
    HKEY key = nullptr;
    EXPECT_EQ(VtlsRegConnectRegistry(nullptr, HKEY_CURRENT_USER, &key), S_OK);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
    key = nullptr;
    EXPECT_EQ(VtlsRegConnectRegistry(L"", HKEY_CLASSES_ROOT, &key), S_OK);
    EXPECT_EQ(key, HKEY_CLASSES_ROOT);
    EXPECT_EQ(VtlsRegCloseKey(HKEY_CURRENT_USER), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(HKEY_CLASSES_ROOT), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(HKEY_LOCAL_MACHINE), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software"));  // the root is still usable
}

TEST(RegConnect, OwnMachineNameReachesItsRoots) {
    const std::wstring name = ComputerName();
    ASSERT_FALSE(name.empty());
    std::wstring lower = name;
    for (auto& c : lower) {
        c = static_cast<wchar_t>(std::towlower(c));
    }
    for (const std::wstring& machine : {name, L"\\\\" + name, lower}) {
        SCOPED_TRACE(std::string(machine.begin(), machine.end()));
        HKEY root = nullptr;
        ASSERT_EQ(VtlsRegConnectRegistry(machine.c_str(), HKEY_LOCAL_MACHINE, &root), S_OK);
        ASSERT_NE(root, nullptr);
        HKEY software = nullptr;
        EXPECT_EQ(VtlsRegOpenKey(root, L"Software", &software, KEY_READ), S_OK);
        EXPECT_EQ(VtlsRegCloseKey(software), S_OK);
        EXPECT_EQ(VtlsRegCloseKey(root), S_OK);
    }
}

TEST(RegConnect, OwnMachineClassRootIsItsMachineClasses) {
    const std::wstring name = ComputerName();
    ASSERT_FALSE(name.empty());
    HKEY classes = nullptr;
    ASSERT_EQ(VtlsRegConnectRegistry(name.c_str(), HKEY_CLASSES_ROOT, &classes), S_OK);
    ASSERT_NE(classes, nullptr);
    EXPECT_NE(classes, HKEY_CLASSES_ROOT);
    EXPECT_NE(classes, HKEY_LOCAL_MACHINE);
    HKEY direct = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Classes", 0, KEY_READ, &direct), ERROR_SUCCESS);
    // A volatile marker made through the direct path shows through the connected handle.
    const std::wstring marker = L"VantrelShRegTestMarker-" + std::to_wstring(GetCurrentProcessId());
    ASSERT_EQ(MakeKey(direct, marker, nullptr, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    EXPECT_TRUE(KeyExists(classes, marker));
    EXPECT_EQ(RegDeleteKeyW(direct, marker.c_str()), ERROR_SUCCESS);
    EXPECT_FALSE(KeyExists(classes, marker));
    RegCloseKey(direct);
    EXPECT_EQ(VtlsRegCloseKey(classes), S_OK);
}

TEST(RegConnect, UnreachableMachineIsUnexpected) {
    HKEY key = nullptr;
    EXPECT_EQ(VtlsRegConnectRegistry(L"localhost", HKEY_LOCAL_MACHINE, &key), E_UNEXPECTED);
    EXPECT_EQ(VtlsRegConnectRegistry(L"no-such-vantrel-host", HKEY_CLASSES_ROOT, &key), E_UNEXPECTED);
}

TEST_F(RegKeys, RemoteCurrentUserReachesTheScratchKey) {
    const std::wstring name = ComputerName();
    HKEY root = nullptr;
    ASSERT_EQ(VtlsRegConnectRegistry(name.c_str(), HKEY_CURRENT_USER, &root), S_OK);
    HKEY key = nullptr;
    ASSERT_EQ(VtlsRegCreateKey(root, (scratch_.path() + L"\\Remote").c_str(), &key, KEY_ALL_ACCESS, nullptr), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
    EXPECT_TRUE(KeyExists(scratch_.get(), L"Remote"));
    EXPECT_EQ(VtlsRegCloseKey(root), S_OK);
}

TEST_F(RegKeys, CloseReportsAFailedCloseAsInvalidArg) {
    EXPECT_EQ(VtlsRegCloseKey(nullptr), S_OK);
    ASSERT_EQ(MakeKey(scratch_.get(), L"K"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(VtlsRegOpenKey(scratch_.get(), L"K", &key, KEY_READ), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), E_INVALIDARG);  // already closed
}

TEST_F(RegKeys, OpenMissingKeyIsFileNotFound) {
    HKEY key = nullptr;
    EXPECT_EQ(VtlsRegOpenKey(scratch_.get(), L"Missing", &key, KEY_READ), kStgFileNotFound);
    EXPECT_EQ(VtlsRegOpenKey(scratch_.get(), L"Missing\\Deeper", &key, KEY_READ), kStgFileNotFound);
}

TEST_F(RegKeys, CreateWritesTheGuidClassAndLeavesExistingKeysAsTheyWere) {
    HKEY key = nullptr;
    ASSERT_EQ(VtlsRegCreateKey(scratch_.get(), L"Tagged\\Inner", &key, KEY_ALL_ACCESS, &kTagA), S_OK);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
    EXPECT_EQ(KeyClass(scratch_.get(), L"Tagged\\Inner"), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");

    key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    EXPECT_EQ(VtlsRegCreateKey(scratch_.get(), L"Tagged\\Inner", &key, KEY_ALL_ACCESS, &kTagB), kStgAlreadyExists);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(VtlsRegCreateKey(scratch_.get(), L"Tagged\\Inner", &key, KEY_ALL_ACCESS, nullptr), kStgAlreadyExists);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(KeyClass(scratch_.get(), L"Tagged\\Inner"), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");

    ASSERT_EQ(VtlsRegCreateKey(scratch_.get(), L"Plain", &key, KEY_READ, nullptr), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
    EXPECT_EQ(KeyClass(scratch_.get(), L"Plain"), L"");
}

TEST_F(RegKeys, CreateBelowAnExistingKeyKeepsThatKeysClass) {
    ASSERT_EQ(MakeKey(scratch_.get(), L"Outer", L"outer class"), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(VtlsRegCreateKey(scratch_.get(), L"Outer\\Middle\\Leaf", &key, KEY_ALL_ACCESS, &kTagA), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
    EXPECT_EQ(KeyClass(scratch_.get(), L"Outer"), L"outer class");
    EXPECT_EQ(KeyClass(scratch_.get(), L"Outer\\Middle"), L"");
    EXPECT_EQ(KeyClass(scratch_.get(), L"Outer\\Middle\\Leaf"), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");
}

TEST_F(RegKeys, EnumListsNamesWithTheirGuidTags) {
    HKEY key = nullptr;
    ASSERT_EQ(VtlsRegCreateKey(scratch_.get(), L"A-Tagged", &key, KEY_READ, &kTagB), S_OK);
    VtlsRegCloseKey(key);
    ASSERT_EQ(VtlsRegCreateKey(scratch_.get(), L"B-Plain", &key, KEY_READ, nullptr), S_OK);
    VtlsRegCloseKey(key);
    ASSERT_EQ(MakeKey(scratch_.get(), L"C-Text", L"not a guid"), ERROR_SUCCESS);

    std::vector<std::wstring> names;
    std::vector<GUID> tags;
    HRESULT result = S_OK;
    for (DWORD index = 0; index < 10; ++index) {
        wchar_t name[64];
        GUID tag;
        std::memset(&tag, 0xAB, sizeof(tag));
        result = VtlsRegEnumKey(scratch_.get(), index, name, 64, &tag);
        if (result != S_OK) {
            break;
        }
        names.emplace_back(name);
        tags.push_back(tag);
    }
    EXPECT_EQ(result, S_FALSE);
    ASSERT_EQ(names, (std::vector<std::wstring>{L"A-Tagged", L"B-Plain", L"C-Text"}));
    EXPECT_TRUE(IsEqualGUID(tags[0], kTagB));
    EXPECT_TRUE(IsEqualGUID(tags[1], GUID_NULL));
    EXPECT_TRUE(IsEqualGUID(tags[2], GUID_NULL));

    wchar_t name[64];
    EXPECT_EQ(VtlsRegEnumKey(scratch_.get(), 3, name, 64, nullptr), S_FALSE);
    EXPECT_EQ(VtlsRegEnumKey(scratch_.get(), 0, name, 64, nullptr), S_OK);
    // "A-Tagged" needs 9 characters with the terminator.
    EXPECT_EQ(VtlsRegEnumKey(scratch_.get(), 0, name, 8, nullptr), E_UNEXPECTED);
}

TEST_F(RegKeys, EnumRefusesAClassOf48CharactersOrMore) {
    ASSERT_EQ(MakeKey(scratch_.get(), L"Long", std::wstring(48, L'x').c_str()), ERROR_SUCCESS);
    wchar_t name[64];
    GUID tag;
    EXPECT_EQ(VtlsRegEnumKey(scratch_.get(), 0, name, 64, &tag), E_UNEXPECTED);
    EXPECT_TRUE(IsEqualGUID(tag, GUID_NULL));
}

TEST_F(RegKeys, QueryReportsSizesTypesAndShortBuffers) {
    const std::vector<BYTE> hello = Bytes(L"Hello");
    ASSERT_EQ(VtlsRegSetValue(scratch_.get(), L"Text", REG_SZ, hello.data(), static_cast<DWORD>(hello.size())), S_OK);
    DWORD size = 0;
    EXPECT_EQ(VtlsRegQueryValue(scratch_.get(), L"Text", REG_SZ, nullptr, &size), S_OK);
    EXPECT_EQ(size, hello.size());

    std::vector<BYTE> buffer(64, 0xEE);
    size = 4;
    EXPECT_EQ(VtlsRegQueryValue(scratch_.get(), L"Text", REG_SZ, buffer.data(), &size), S_FALSE);
    EXPECT_EQ(size, hello.size());

    size = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(VtlsRegQueryValue(scratch_.get(), L"Text", 0, buffer.data(), &size), S_OK);
    ASSERT_EQ(size, hello.size());
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + size), hello);

    size = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(VtlsRegQueryValue(scratch_.get(), L"Text", REG_DWORD, buffer.data(), &size), kStgFileNotFound);
    size = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(VtlsRegQueryValue(scratch_.get(), L"Missing", 0, buffer.data(), &size), kStgFileNotFound);

    const DWORD number = 0x01020304;
    ASSERT_EQ(VtlsRegSetValue(scratch_.get(), nullptr, REG_DWORD, &number, sizeof(number)), S_OK);
    DWORD read = 0;
    size = sizeof(read);
    EXPECT_EQ(VtlsRegQueryValue(scratch_.get(), nullptr, 0, &read, &size), S_OK);  // the default value
    EXPECT_EQ(read, number);
}

TEST_F(RegKeys, ZeroLengthSetDeletesAndDeleteValueReportsMissing) {
    const BYTE bytes[3] = {1, 2, 3};
    ASSERT_EQ(VtlsRegSetValue(scratch_.get(), L"Bin", REG_BINARY, bytes, 3), S_OK);
    EXPECT_EQ(VtlsRegSetValue(scratch_.get(), L"Bin", REG_BINARY, bytes, 0), S_OK);
    DWORD size = 0;
    EXPECT_EQ(VtlsRegQueryValue(scratch_.get(), L"Bin", 0, nullptr, &size), kStgFileNotFound);
    EXPECT_EQ(VtlsRegSetValue(scratch_.get(), L"Bin", REG_BINARY, nullptr, 0), S_OK);  // nothing to delete

    ASSERT_EQ(VtlsRegSetValue(scratch_.get(), L"Bin", REG_BINARY, bytes, 3), S_OK);
    EXPECT_EQ(VtlsRegDeleteValue(scratch_.get(), L"Bin"), S_OK);
    EXPECT_EQ(VtlsRegDeleteValue(scratch_.get(), L"Bin"), kStgFileNotFound);
}

TEST_F(RegKeys, HandleOfADeletedKeyReportsFileNotFound) {
    HKEY key = nullptr;
    ASSERT_EQ(VtlsRegCreateKey(scratch_.get(), L"Doomed", &key, KEY_ALL_ACCESS, nullptr), S_OK);
    ASSERT_EQ(RegDeleteKeyW(scratch_.get(), L"Doomed"), ERROR_SUCCESS);
    const BYTE bytes[2] = {1, 2};
    DWORD size = 0;
    EXPECT_EQ(VtlsRegQueryValue(key, L"V", 0, nullptr, &size), kStgFileNotFound);
    EXPECT_EQ(VtlsRegSetValue(key, L"V", REG_BINARY, bytes, 2), kStgFileNotFound);
    EXPECT_EQ(VtlsRegSetValue(key, L"V", REG_BINARY, bytes, 0), S_OK);  // 1018 counts as deleted
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
}

}  // namespace
