// Registry keys, values and whole trees through the DLL's exports, in a
// throw-away key. The error mapping in detail is in portable/reg_result_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "base/unique_resource.h"
#include "support/registry_scratch.h"

namespace {

using vtls::UniqueRegKey;
using vtls::test::ScratchKey;
using vtls::test::TextBytes;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT kExists = static_cast<HRESULT>(0x80030050u);
constexpr GUID kTagA = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
constexpr GUID kTagB = {0xFEDCBA98, 0x7654, 0x3210, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
const auto kUntouched = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));

bool KeyExists(HKEY parent, const std::wstring& path) {
    UniqueRegKey key;
    return RegOpenKeyExW(parent, path.c_str(), 0, KEY_QUERY_VALUE, key.put()) == ERROR_SUCCESS;
}

// One level below parent, the class on it alone: a multi-level RegCreateKeyExW
// in Wine rewrites the class of the levels that already exist.
UniqueRegKey Sub(HKEY parent, const wchar_t* name, const wchar_t* keyClass = nullptr) {
    UniqueRegKey key;
    EXPECT_EQ(RegCreateKeyExW(parent, name, 0, const_cast<wchar_t*>(keyClass), 0, KEY_ALL_ACCESS, nullptr, key.put(),
                              nullptr),
              ERROR_SUCCESS);
    return key;
}

void Put(HKEY key, const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    EXPECT_EQ(RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
}

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i * 13 + 5);
    return bytes;
}

// Everything of a key tree that a copy must reproduce: class, values, subkeys.
struct Tree {
    std::wstring keyClass;
    std::map<std::wstring, std::pair<DWORD, std::vector<BYTE>>> values;
    std::map<std::wstring, Tree> subkeys;
    bool operator==(const Tree& other) const {
        return keyClass == other.keyClass && values == other.values && subkeys == other.subkeys;
    }
};

Tree Snapshot(HKEY parent, const std::wstring& path) {
    Tree tree{L"<missing>", {}, {}};
    UniqueRegKey key;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return tree;
    wchar_t text[512] = {};
    DWORD chars = 512;
    RegQueryInfoKeyW(key.get(), text, &chars, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr);
    tree.keyClass.assign(text, chars);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = 512, bytes = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueW(key.get(), index, text, &nameChars, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) {
            break;
        }
        tree.values[std::wstring(text, nameChars)] = {type, std::vector<BYTE>(data.begin(), data.begin() + bytes)};
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = 512;
        if (RegEnumKeyExW(key.get(), index, text, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
            break;
        }
        tree.subkeys[text] = Snapshot(key.get(), text);
    }
    return tree;
}

class RegKeys : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(scratch_.get(), nullptr); }
    HKEY root() const { return scratch_.get(); }
    std::wstring KeyClass(const wchar_t* path) const { return Snapshot(root(), path).keyClass; }
    ScratchKey scratch_;
};

TEST_F(RegKeys, ConnectOpenCreateAndCloseReportTheRegistrysResults) {
    HKEY key = nullptr;
    EXPECT_EQ(VtlsRegConnectRegistry(nullptr, HKEY_CURRENT_USER, &key), S_OK);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
    EXPECT_EQ(VtlsRegCloseKey(HKEY_CURRENT_USER), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(nullptr), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, scratch_.path())) << "a root is not closed";
    ASSERT_EQ(VtlsRegCreateKey(root(), L"Tagged\\Inner", &key, KEY_ALL_ACCESS, &kTagA), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), E_INVALIDARG) << "already closed";
    EXPECT_EQ(KeyClass(L"Tagged\\Inner"), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(KeyClass(L"Tagged"), L"");
    key = kUntouched;
    EXPECT_EQ(VtlsRegCreateKey(root(), L"Tagged\\Inner", &key, KEY_ALL_ACCESS, &kTagB), kExists);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(KeyClass(L"Tagged\\Inner"), L"{01234567-89AB-CDEF-0123-456789ABCDEF}") << "created once only";
    EXPECT_EQ(VtlsRegOpenKey(root(), L"Missing\\Deeper", &key, KEY_READ), kNotFound);
    // The class root of a named machine is its HKLM\Software\Classes.
    HKEY classes = nullptr;
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD chars = MAX_COMPUTERNAME_LENGTH + 1;
    ASSERT_TRUE(GetComputerNameW(computer, &chars));
    ASSERT_EQ(VtlsRegConnectRegistry(computer, HKEY_CLASSES_ROOT, &classes), S_OK);
    const ScratchKey marker(HKEY_LOCAL_MACHINE, L"Software\\Classes\\VantrelShTestMarker");
    EXPECT_TRUE(KeyExists(classes, L"VantrelShTestMarker"));
    EXPECT_EQ(VtlsRegCloseKey(classes), S_OK);
}

TEST_F(RegKeys, EnumListsNamesWithTheirGuidTags) {
    Sub(root(), L"A-Tagged", L"{FEDCBA98-7654-3210-FEDC-BA9876543210}");
    Sub(root(), L"B-Text", L"not a guid");
    const std::pair<const wchar_t*, GUID> expected[] = {{L"A-Tagged", kTagB}, {L"B-Text", GUID_NULL}};
    wchar_t name[64];
    GUID tag;
    for (DWORD index = 0; index < 2; ++index) {
        std::memset(&tag, 0xAB, sizeof(tag));
        ASSERT_EQ(VtlsRegEnumKey(root(), index, name, 64, &tag), S_OK);
        EXPECT_STREQ(name, expected[index].first);
        EXPECT_TRUE(IsEqualGUID(tag, expected[index].second)) << index;
    }
    EXPECT_EQ(VtlsRegEnumKey(root(), 2, name, 64, nullptr), S_FALSE);
    EXPECT_EQ(VtlsRegEnumKey(root(), 0, name, 8, nullptr), E_UNEXPECTED) << "\"A-Tagged\" needs 9 characters";
}

TEST_F(RegKeys, ValuesAreSetQueriedAndDeleted) {
    const std::vector<BYTE> hello = TextBytes(L"Hello");
    ASSERT_EQ(VtlsRegSetValue(root(), L"Text", REG_SZ, hello.data(), static_cast<DWORD>(hello.size())), S_OK);
    std::vector<BYTE> buffer(64, 0xEE);
    DWORD size = 4;
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", REG_SZ, buffer.data(), &size), S_FALSE);
    EXPECT_EQ(size, hello.size());
    size = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", 0, buffer.data(), &size), S_OK);
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + size), hello);
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", REG_DWORD, buffer.data(), &size), kNotFound);
    // A set of no bytes deletes the value, also one that is not there.
    EXPECT_EQ(VtlsRegSetValue(root(), L"Text", REG_BINARY, hello.data(), 0), S_OK);
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", 0, nullptr, &size), kNotFound);
    EXPECT_EQ(VtlsRegSetValue(root(), L"Text", REG_BINARY, nullptr, 0), S_OK);
    const DWORD number = 0x01020304;
    ASSERT_EQ(VtlsRegSetValue(root(), nullptr, REG_DWORD, &number, sizeof(number)), S_OK);
    EXPECT_EQ(VtlsRegDeleteValue(root(), nullptr), S_OK);
    EXPECT_EQ(VtlsRegDeleteValue(root(), nullptr), kNotFound);
}

// Src: classes, nested subkeys, values of several types, the largest exactly as
// big as a copy can carry; a value one byte larger fails the copy, which leaves
// nothing behind.
TEST_F(RegKeys, CopyReproducesTheTreeOrLeavesNothing) {
    HKEY source = nullptr;
    ASSERT_EQ(VtlsRegCreateKey(root(), L"Src", &source, KEY_ALL_ACCESS, &kTagB), S_OK);
    const UniqueRegKey src(source);
    Put(src.get(), nullptr, REG_SZ, TextBytes(L"default"));
    Put(src.get(), L"Big", REG_BINARY, Pattern(4096));
    Put(src.get(), L"Multi", REG_MULTI_SZ, TextBytes(std::wstring(L"a\0bc\0", 5)));
    const UniqueRegKey one = Sub(src.get(), L"One", L"class one"), two = Sub(src.get(), L"Two");
    Put(one.get(), L"Empty", REG_BINARY, {});
    Put(Sub(one.get(), L"Deep", L"{not-a-guid}").get(), L"Leaf", REG_EXPAND_SZ, TextBytes(L"%TEMP%"));
    Put(two.get(), L"Q", REG_QWORD, Pattern(8));
    const Tree before = Snapshot(root(), L"Src");
    ASSERT_EQ(before.subkeys.size(), 2u);
    HKEY copy = nullptr;
    ASSERT_EQ(VtlsRegCopyKey(root(), L"Src", L"Dst", &copy), S_OK);
    EXPECT_TRUE(Snapshot(root(), L"Dst") == before);
    EXPECT_TRUE(Snapshot(root(), L"Src") == before);
    EXPECT_EQ(KeyClass(L"Dst"), L"{FEDCBA98-7654-3210-FEDC-BA9876543210}");
    EXPECT_EQ(VtlsRegCloseKey(copy), S_OK);
    // Onto an existing name nothing changes.
    const Tree destination = Snapshot(root(), L"Dst");
    copy = kUntouched;
    EXPECT_EQ(VtlsRegCopyKey(root(), L"Src", L"Dst", &copy), kExists);
    EXPECT_EQ(copy, nullptr);
    EXPECT_TRUE(Snapshot(root(), L"Dst") == destination);
    // Zz sorts after One and Two, so both are copied before the failure.
    Put(Sub(Sub(src.get(), L"Zz").get(), L"Inner").get(), L"Huge", REG_BINARY, Pattern(4097));
    copy = kUntouched;
    EXPECT_EQ(VtlsRegCopyKey(root(), L"Src", L"Again", &copy), E_UNEXPECTED);
    EXPECT_EQ(copy, nullptr);
    EXPECT_FALSE(KeyExists(root(), L"Again"));
}

LONG SetDacl(HKEY key, const wchar_t* sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        return static_cast<LONG>(GetLastError());
    }
    const vtls::UniqueLocal owner(descriptor);
    return RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
}

TEST_F(RegKeys, DeleteRemovesAllItCan) {
    Sub(root(), L"Keep");
    EXPECT_EQ(VtlsRegDeleteKey(nullptr, L"Keep"), E_INVALIDARG);
    EXPECT_EQ(VtlsRegDeleteKey(root(), nullptr), E_INVALIDARG);
    EXPECT_EQ(VtlsRegDeleteKey(root(), L""), E_INVALIDARG);
    EXPECT_TRUE(KeyExists(root(), L"Keep"));
    EXPECT_EQ(VtlsRegDeleteKey(root(), L"Keep"), S_OK);
    EXPECT_EQ(VtlsRegDeleteKey(root(), L"Keep"), kNotFound);
    // A key that may not list its subkeys blocks its branch; the path down to
    // it stays, every sibling that can go goes.
    const UniqueRegKey blocked = Sub(root(), L"T\\A\\B");
    for (const wchar_t* path : {L"T\\A\\B\\C", L"T\\A\\D\\E", L"T\\A\\F", L"T\\G"}) Sub(root(), path);
    ASSERT_EQ(SetDacl(blocked.get(), L"D:(D;;0x8;;;WD)(A;;KA;;;WD)"), ERROR_SUCCESS);
    EXPECT_EQ(VtlsRegDeleteKey(root(), L"T"), static_cast<HRESULT>(0x80030005u));
    EXPECT_TRUE(KeyExists(root(), L"T\\A\\B\\C"));
    for (const wchar_t* gone : {L"T\\A\\D", L"T\\A\\F", L"T\\G"}) {
        EXPECT_FALSE(KeyExists(root(), gone)) << gone;
    }
    EXPECT_EQ(SetDacl(blocked.get(), L"D:(A;;KA;;;WD)"), ERROR_SUCCESS) << "the scratch key stays behind";
}

}  // namespace
