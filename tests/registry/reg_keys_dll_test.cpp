// Registry keys, values and whole trees through the DLL's exports, in a
// throw-away key. The error mapping in detail is in portable/reg_result_test.cpp.
#include <gtest/gtest.h>

#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <map>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "support/registry_scratch.h"

namespace {

using vtls::test::ScratchKey;
using vtls::test::TextBytes;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80030002u);
constexpr HRESULT kDenied = static_cast<HRESULT>(0x80030005u);
constexpr HRESULT kExists = static_cast<HRESULT>(0x80030050u);
constexpr GUID kTagA = {0x01234567, 0x89AB, 0xCDEF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
constexpr GUID kTagB = {0xFEDCBA98, 0x7654, 0x3210, {0xFE, 0xDC, 0xBA, 0x98, 0x76, 0x54, 0x32, 0x10}};
const auto kUntouched = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));

bool KeyExists(HKEY parent, const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// parent\path level by level, the class on the last level only: a multi-level
// RegCreateKeyExW in Wine rewrites the class of existing levels.
LONG MakeKey(HKEY parent, const std::wstring& path, const wchar_t* keyClass = nullptr, DWORD options = 0) {
    HKEY at = nullptr;
    LONG error = RegOpenKeyExW(parent, nullptr, 0, KEY_ALL_ACCESS, &at);
    for (std::size_t start = 0; error == ERROR_SUCCESS && start <= path.size();) {
        const std::size_t end = std::min(path.find(L'\\', start), path.size());
        const bool last = end == path.size();
        const std::wstring name = path.substr(start, end - start);
        HKEY next = nullptr;
        error = last ? ERROR_FILE_NOT_FOUND : RegOpenKeyExW(at, name.c_str(), 0, KEY_ALL_ACCESS, &next);
        if (error == ERROR_FILE_NOT_FOUND) {
            error = RegCreateKeyExW(at, name.c_str(), 0, last ? const_cast<wchar_t*>(keyClass) : nullptr, options,
                                    KEY_ALL_ACCESS, nullptr, &next, nullptr);
        }
        RegCloseKey(at);
        at = next;
        start = end + 1;
    }
    if (at != nullptr) RegCloseKey(at);
    return error;
}

// Opens the key first: Wine's RegSetKeyValueW clears the class of an existing key.
LONG PutValue(HKEY parent, const std::wstring& path, const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    HKEY key = nullptr;
    LONG error = RegOpenKeyExW(parent, path.c_str(), 0, KEY_SET_VALUE, &key);
    if (error == ERROR_SUCCESS) {
        error = RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size()));
        RegCloseKey(key);
    }
    return error;
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
    HKEY key = nullptr;
    if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return tree;
    wchar_t text[512] = {};
    DWORD chars = 512;
    RegQueryInfoKeyW(key, text, &chars, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    tree.keyClass.assign(text, chars);
    std::vector<BYTE> data(65536);
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = 512, bytes = static_cast<DWORD>(data.size()), type = 0;
        if (RegEnumValueW(key, index, text, &nameChars, nullptr, &type, data.data(), &bytes) != ERROR_SUCCESS) break;
        tree.values[std::wstring(text, nameChars)] = {type, std::vector<BYTE>(data.begin(), data.begin() + bytes)};
    }
    for (DWORD index = 0;; ++index) {
        DWORD nameChars = 512;
        if (RegEnumKeyExW(key, index, text, &nameChars, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        tree.subkeys[text] = Snapshot(key, text);
    }
    RegCloseKey(key);
    return tree;
}

LONG SetKeyDacl(HKEY parent, const std::wstring& path, const wchar_t* sddl) {
    HKEY key = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    LONG error = RegOpenKeyExW(parent, path.c_str(), 0, WRITE_DAC, &key);
    if (error == ERROR_SUCCESS &&
        !ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor, nullptr)) {
        error = static_cast<LONG>(GetLastError());
    }
    if (descriptor != nullptr) error = RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor);
    LocalFree(descriptor);
    if (key != nullptr) RegCloseKey(key);
    return error;
}

// A DACL that keeps the key from listing its subkeys, lifted again on scope
// exit so that the scratch key can be removed.
struct DenyEnumeration {
    DenyEnumeration(HKEY parent, std::wstring path)
        : parent(parent), path(std::move(path)), result(SetKeyDacl(parent, this->path, L"D:(D;;0x8;;;WD)(A;;KA;;;WD)")) {}
    ~DenyEnumeration() { SetKeyDacl(parent, path, L"D:(A;;KA;;;WD)"); }
    const HKEY parent;
    const std::wstring path;
    const LONG result;
};

std::wstring ComputerName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD chars = MAX_COMPUTERNAME_LENGTH + 1;
    return GetComputerNameW(name, &chars) ? std::wstring(name, chars) : std::wstring();
}

class RegKeys : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(scratch_.get(), nullptr); }
    HKEY root() const { return scratch_.get(); }
    std::wstring KeyClass(const wchar_t* path) const { return Snapshot(root(), path).keyClass; }

    // Src with classes, nested subkeys and values of several types, the largest
    // exactly as big as a copy can carry.
    void BuildSource() {
        HKEY key = nullptr;
        ASSERT_EQ(VtlsRegCreateKey(root(), L"Src", &key, KEY_ALL_ACCESS, &kTagB), S_OK);
        VtlsRegCloseKey(key);
        ASSERT_EQ(PutValue(root(), L"Src", nullptr, REG_SZ, TextBytes(L"default")), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root(), L"Src", L"Big", REG_BINARY, Pattern(4096)), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root(), L"Src", L"Multi", REG_MULTI_SZ, TextBytes(std::wstring(L"a\0bc\0", 5))), ERROR_SUCCESS);
        ASSERT_EQ(MakeKey(root(), L"Src\\One", L"class one"), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root(), L"Src\\One", L"Empty", REG_BINARY, {}), ERROR_SUCCESS);
        ASSERT_EQ(MakeKey(root(), L"Src\\One\\Deep\\Deeper", L"{not-a-guid}"), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root(), L"Src\\One\\Deep\\Deeper", L"Leaf", REG_EXPAND_SZ, TextBytes(L"%TEMP%")), ERROR_SUCCESS);
        ASSERT_EQ(MakeKey(root(), L"Src\\Two"), ERROR_SUCCESS);
        ASSERT_EQ(PutValue(root(), L"Src\\Two", L"Q", REG_QWORD, Pattern(8)), ERROR_SUCCESS);
    }

    ScratchKey scratch_;
};

TEST(RegConnect, RootsOfThisMachineByNoNameOrItsOwnAndUnreachableMachines) {
    HKEY key = nullptr;
    EXPECT_EQ(VtlsRegConnectRegistry(nullptr, HKEY_CURRENT_USER, &key), S_OK);
    EXPECT_EQ(key, HKEY_CURRENT_USER);
    EXPECT_EQ(VtlsRegConnectRegistry(L"", HKEY_CLASSES_ROOT, &key), S_OK);
    EXPECT_EQ(key, HKEY_CLASSES_ROOT);
    EXPECT_EQ(VtlsRegCloseKey(HKEY_CURRENT_USER), S_OK);
    EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, L"Software")) << "a root is not closed";
    const std::wstring name = ComputerName();
    std::wstring lower = name;
    for (auto& c : lower) c = static_cast<wchar_t>(std::towlower(c));
    for (const std::wstring& machine : {name, L"\\\\" + name, lower}) {
        HKEY root = nullptr, software = nullptr;
        ASSERT_EQ(VtlsRegConnectRegistry(machine.c_str(), HKEY_LOCAL_MACHINE, &root), S_OK);
        EXPECT_EQ(VtlsRegOpenKey(root, L"Software", &software, KEY_READ), S_OK);
        EXPECT_EQ(VtlsRegCloseKey(software), S_OK);
        EXPECT_EQ(VtlsRegCloseKey(root), S_OK);
    }
    // The class root of a named machine is its HKLM\Software\Classes.
    HKEY classes = nullptr;
    ASSERT_EQ(VtlsRegConnectRegistry(name.c_str(), HKEY_CLASSES_ROOT, &classes), S_OK);
    EXPECT_TRUE(classes != HKEY_CLASSES_ROOT && classes != HKEY_LOCAL_MACHINE);
    const ScratchKey marker(HKEY_LOCAL_MACHINE, L"Software\\Classes\\VantrelShTestMarker");
    EXPECT_TRUE(KeyExists(classes, L"VantrelShTestMarker"));
    EXPECT_EQ(VtlsRegCloseKey(classes), S_OK);
    EXPECT_EQ(VtlsRegConnectRegistry(L"localhost", HKEY_LOCAL_MACHINE, &key), E_UNEXPECTED);
    EXPECT_EQ(VtlsRegConnectRegistry(L"no-such-vantrel-host", HKEY_CLASSES_ROOT, &key), E_UNEXPECTED);
}

TEST_F(RegKeys, OpenCreateAndCloseReportTheRegistrysResults) {
    HKEY key = nullptr, remote = nullptr;
    // Through a named machine's HKCU, which reaches this scratch key.
    ASSERT_EQ(VtlsRegConnectRegistry(ComputerName().c_str(), HKEY_CURRENT_USER, &remote), S_OK);
    ASSERT_EQ(VtlsRegCreateKey(remote, (scratch_.path() + L"\\Tagged\\Inner").c_str(), &key, KEY_ALL_ACCESS, &kTagA), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), E_INVALIDARG) << "already closed";
    EXPECT_EQ(VtlsRegCloseKey(remote), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(nullptr), S_OK);
    EXPECT_EQ(KeyClass(L"Tagged\\Inner"), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    EXPECT_EQ(KeyClass(L"Tagged"), L"");
    for (const GUID* tag : {&kTagB, static_cast<const GUID*>(nullptr)}) {
        key = kUntouched;
        EXPECT_EQ(VtlsRegCreateKey(root(), L"Tagged\\Inner", &key, KEY_ALL_ACCESS, tag), kExists);
        EXPECT_EQ(key, nullptr);
    }
    EXPECT_EQ(KeyClass(L"Tagged\\Inner"), L"{01234567-89AB-CDEF-0123-456789ABCDEF}");
    ASSERT_EQ(MakeKey(root(), L"Outer", L"outer class"), ERROR_SUCCESS);
    ASSERT_EQ(VtlsRegCreateKey(root(), L"Outer\\Middle\\Leaf", &key, KEY_ALL_ACCESS, nullptr), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(key), S_OK);
    EXPECT_EQ(KeyClass(L"Outer"), L"outer class") << "an existing key keeps its class";
    EXPECT_EQ(KeyClass(L"Outer\\Middle\\Leaf"), L"");
    EXPECT_EQ(VtlsRegOpenKey(root(), L"Missing\\Deeper", &key, KEY_READ), kNotFound);
}

TEST_F(RegKeys, EnumListsNamesWithTheirGuidTags) {
    ASSERT_EQ(MakeKey(root(), L"A-Tagged", L"{FEDCBA98-7654-3210-FEDC-BA9876543210}"), ERROR_SUCCESS);
    ASSERT_EQ(MakeKey(root(), L"B-Plain"), ERROR_SUCCESS);
    ASSERT_EQ(MakeKey(root(), L"C-Text", L"not a guid"), ERROR_SUCCESS);
    const std::pair<const wchar_t*, GUID> expected[] = {{L"A-Tagged", kTagB}, {L"B-Plain", GUID_NULL}, {L"C-Text", GUID_NULL}};
    wchar_t name[64];
    GUID tag;
    for (DWORD index = 0; index < 3; ++index) {
        std::memset(&tag, 0xAB, sizeof(tag));
        ASSERT_EQ(VtlsRegEnumKey(root(), index, name, 64, &tag), S_OK);
        EXPECT_STREQ(name, expected[index].first);
        EXPECT_TRUE(IsEqualGUID(tag, expected[index].second)) << index;
    }
    EXPECT_EQ(VtlsRegEnumKey(root(), 3, name, 64, nullptr), S_FALSE);
    EXPECT_EQ(VtlsRegEnumKey(root(), 0, name, 8, nullptr), E_UNEXPECTED) << "\"A-Tagged\" needs 9 characters";
    ASSERT_EQ(RegDeleteTreeW(root(), nullptr), ERROR_SUCCESS);
    ASSERT_EQ(MakeKey(root(), L"Long", std::wstring(48, L'x').c_str()), ERROR_SUCCESS);
    EXPECT_EQ(VtlsRegEnumKey(root(), 0, name, 64, &tag), E_UNEXPECTED) << "a class of 48 characters";
    EXPECT_TRUE(IsEqualGUID(tag, GUID_NULL));
}

TEST_F(RegKeys, ValuesAreSetQueriedAndDeleted) {
    const std::vector<BYTE> hello = TextBytes(L"Hello");
    ASSERT_EQ(VtlsRegSetValue(root(), L"Text", REG_SZ, hello.data(), static_cast<DWORD>(hello.size())), S_OK);
    DWORD size = 0;
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", REG_SZ, nullptr, &size), S_OK);
    EXPECT_EQ(size, hello.size());
    std::vector<BYTE> buffer(64, 0xEE);
    size = 4;
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", REG_SZ, buffer.data(), &size), S_FALSE);
    EXPECT_EQ(size, hello.size());
    size = static_cast<DWORD>(buffer.size());
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", 0, buffer.data(), &size), S_OK);
    EXPECT_EQ(std::vector<BYTE>(buffer.begin(), buffer.begin() + size), hello);
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", REG_DWORD, buffer.data(), &size), kNotFound);
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Missing", 0, buffer.data(), &size), kNotFound);
    const DWORD number = 0x01020304;
    DWORD read = 0;
    size = sizeof(read);
    ASSERT_EQ(VtlsRegSetValue(root(), nullptr, REG_DWORD, &number, sizeof(number)), S_OK);
    EXPECT_EQ(VtlsRegQueryValue(root(), nullptr, 0, &read, &size), S_OK);
    EXPECT_EQ(read, number);
    // A set of no bytes deletes the value, also one that is not there.
    EXPECT_EQ(VtlsRegSetValue(root(), L"Text", REG_BINARY, hello.data(), 0), S_OK);
    EXPECT_EQ(VtlsRegQueryValue(root(), L"Text", 0, nullptr, &size), kNotFound);
    EXPECT_EQ(VtlsRegSetValue(root(), L"Text", REG_BINARY, nullptr, 0), S_OK);
    EXPECT_EQ(VtlsRegDeleteValue(root(), nullptr), S_OK);
    EXPECT_EQ(VtlsRegDeleteValue(root(), nullptr), kNotFound);
    // The handle of a deleted key (1018 counts as not found, and as deleted).
    HKEY doomed = nullptr;
    ASSERT_EQ(VtlsRegCreateKey(root(), L"Doomed", &doomed, KEY_ALL_ACCESS, nullptr), S_OK);
    ASSERT_EQ(RegDeleteKeyW(root(), L"Doomed"), ERROR_SUCCESS);
    EXPECT_EQ(VtlsRegQueryValue(doomed, L"V", 0, nullptr, &size), kNotFound);
    EXPECT_EQ(VtlsRegSetValue(doomed, L"V", REG_BINARY, hello.data(), 2), kNotFound);
    EXPECT_EQ(VtlsRegSetValue(doomed, L"V", REG_BINARY, hello.data(), 0), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(doomed), S_OK);
}

TEST_F(RegKeys, CopyReproducesTheTreeAndHandsBackTheOpenCopy) {
    BuildSource();
    const Tree before = Snapshot(root(), L"Src");
    ASSERT_EQ(before.subkeys.size(), 2u);
    HKEY copy = nullptr;
    ASSERT_EQ(VtlsRegCopyKey(root(), L"Src", L"Dst", &copy), S_OK);
    EXPECT_TRUE(Snapshot(root(), L"Dst") == before);
    EXPECT_TRUE(Snapshot(root(), L"Src") == before);
    EXPECT_EQ(KeyClass(L"Dst"), L"{FEDCBA98-7654-3210-FEDC-BA9876543210}");
    const BYTE mark[1] = {7};
    EXPECT_EQ(VtlsRegSetValue(copy, L"Mark", REG_BINARY, mark, 1), S_OK);
    EXPECT_EQ(VtlsRegCloseKey(copy), S_OK);
    EXPECT_EQ(Snapshot(root(), L"Dst").values.count(L"Mark"), 1u);
    // Onto an existing name nothing changes; a missing source is not found.
    const Tree destination = Snapshot(root(), L"Dst");
    copy = kUntouched;
    EXPECT_EQ(VtlsRegCopyKey(root(), L"Src", L"Dst", &copy), kExists);
    EXPECT_EQ(copy, nullptr);
    EXPECT_TRUE(Snapshot(root(), L"Dst") == destination);
    copy = kUntouched;
    EXPECT_EQ(VtlsRegCopyKey(root(), L"Nothing", L"Other", &copy), kNotFound);
    EXPECT_EQ(copy, nullptr);
    EXPECT_FALSE(KeyExists(root(), L"Other"));
}

TEST_F(RegKeys, AFailedCopyIsRolledBack) {
    BuildSource();
    // Zz sorts after One and Two, so both are copied before the failure.
    ASSERT_EQ(MakeKey(root(), L"Src\\Zz\\Inner"), ERROR_SUCCESS);
    ASSERT_EQ(PutValue(root(), L"Src\\Zz\\Inner", L"Huge", REG_BINARY, Pattern(4097)), ERROR_SUCCESS);
    HKEY copy = kUntouched;
    EXPECT_EQ(VtlsRegCopyKey(root(), L"Src", L"Dst", &copy), E_UNEXPECTED);
    EXPECT_EQ(copy, nullptr);
    EXPECT_FALSE(KeyExists(root(), L"Dst"));
    ASSERT_EQ(RegDeleteTreeW(root(), L"Src\\Zz"), ERROR_SUCCESS);
    ASSERT_EQ(MakeKey(root(), L"Src\\Two\\Locked\\Below"), ERROR_SUCCESS);
    {
        const DenyEnumeration deny{root(), L"Src\\Two\\Locked"};
        ASSERT_EQ(deny.result, ERROR_SUCCESS);
        EXPECT_EQ(VtlsRegCopyKey(root(), L"Src", L"Dst", &copy), kDenied);
        EXPECT_FALSE(KeyExists(root(), L"Dst"));
    }
    // A non-volatile key (every copy is one) cannot live under a volatile key (1021).
    ASSERT_EQ(MakeKey(root(), L"Vol\\Src\\Sub", nullptr, REG_OPTION_VOLATILE), ERROR_SUCCESS);
    HKEY volatileParent = nullptr;
    ASSERT_EQ(RegOpenKeyExW(root(), L"Vol", 0, KEY_ALL_ACCESS, &volatileParent), ERROR_SUCCESS);
    EXPECT_EQ(VtlsRegCopyKey(volatileParent, L"Src", L"Dst", &copy), E_UNEXPECTED);
    EXPECT_FALSE(KeyExists(volatileParent, L"Dst"));
    RegCloseKey(volatileParent);
}

TEST_F(RegKeys, DeleteRemovesAllItCan) {
    ASSERT_EQ(MakeKey(root(), L"Keep"), ERROR_SUCCESS);
    EXPECT_EQ(VtlsRegDeleteKey(nullptr, L"Keep"), E_INVALIDARG);
    EXPECT_EQ(VtlsRegDeleteKey(root(), nullptr), E_INVALIDARG);
    EXPECT_EQ(VtlsRegDeleteKey(root(), L""), E_INVALIDARG);
    EXPECT_TRUE(KeyExists(root(), L"Keep"));
    EXPECT_EQ(VtlsRegDeleteKey(root(), L"Keep"), S_OK);
    EXPECT_EQ(VtlsRegDeleteKey(root(), L"Keep"), kNotFound);
    for (const wchar_t* path : {L"T\\A\\B\\C", L"T\\A\\D\\E", L"T\\A\\F", L"T\\G"}) {
        ASSERT_EQ(MakeKey(root(), path), ERROR_SUCCESS);
    }
    ASSERT_EQ(PutValue(root(), L"T\\A\\D", L"V", REG_SZ, TextBytes(L"x")), ERROR_SUCCESS);
    const DenyEnumeration deny{root(), L"T\\A\\B"};
    ASSERT_EQ(deny.result, ERROR_SUCCESS);
    EXPECT_EQ(VtlsRegDeleteKey(root(), L"T"), kDenied);
    // The path down to the blocked key stays; every deletable sibling is gone.
    EXPECT_TRUE(KeyExists(root(), L"T\\A\\B\\C"));
    for (const wchar_t* gone : {L"T\\A\\D", L"T\\A\\F", L"T\\G"}) {
        EXPECT_FALSE(KeyExists(root(), gone)) << gone;
    }
}

}  // namespace
