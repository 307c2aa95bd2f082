// The desktop folder through its export: identity, parsing, declined operations
// and the order of root items. Binding is in folder_binding_test.cpp.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "namespace_lists.h"
#include "peers/test_folder_ids.h"

namespace {

using vtls::test::Bytes;
using vtls::test::Copy;
using vtls::test::EncodeReal;
using vtls::test::kNamespaceRootList;
using vtls::test::List;
using vtls::test::Pidl;
using vtls::test::RawItem;
using vtls::test::RootItem;

constexpr HRESULT kBefore = 0xFFFF;
constexpr HRESULT kAfter = 1;

IShellFolder* Desktop() {
    IShellFolder* folder = nullptr;
    EXPECT_EQ(GetDesktopFolderInstance(&folder), S_OK);
    return folder;
}

// Something that is no pointer the library would write: an untouched
// out-pointer still holds it.
template <typename T>
T Sentinel() {
    return reinterpret_cast<T>(static_cast<std::uintptr_t>(0x5EE5EE00));
}

TEST(DesktopFolder, IsOneInstanceExportedByOrdinalOnly) {
    IShellFolder* first = Desktop();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(Desktop(), first);
    const HMODULE library = GetModuleHandleW(L"VantrelSh.dll");
    ASSERT_NE(library, nullptr);
    EXPECT_EQ(GetProcAddress(library, "GetDesktopFolderInstance"), nullptr);
    EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(library, MAKEINTRESOURCEA(42))),
              reinterpret_cast<void*>(&GetDesktopFolderInstance));
}

TEST(DesktopFolder, CountsNoReferencesAndAnswersOnlyIShellFolder) {
    IShellFolder* folder = Desktop();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(folder->AddRef(), 1u);
    }
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(folder->Release(), 1u);
    }
    void* asked = nullptr;
    EXPECT_EQ(folder->QueryInterface(IID_IShellFolder, &asked), S_OK);
    EXPECT_EQ(asked, folder);
    for (const IID& other : {IID_IUnknown, IID_IPersistFolder, IID_IShellFolder2}) {
        void* untouched = Sentinel<void*>();
        EXPECT_EQ(folder->QueryInterface(other, &untouched), E_NOINTERFACE);
        EXPECT_EQ(untouched, Sentinel<void*>());
    }
    // Still usable after all those releases.
    LPITEMIDLIST list = nullptr;
    wchar_t name[] = L"::{BC99C20F-9257-11D3-A28A-080021322581}";
    EXPECT_EQ(folder->ParseDisplayName(nullptr, nullptr, name, nullptr, &list, nullptr), S_OK);
    VtlsSHFree(list);
}

TEST(DesktopFolder, ParsesAClassIdIntoARootItem) {
    IShellFolder* folder = Desktop();
    // The first two characters are skipped unread, whatever they are.
    for (const wchar_t* text : {L"::{BC99C20F-9257-11D3-A28A-080021322581}", L"ab{bc99c20f-9257-11d3-a28a-080021322581}"}) {
        std::wstring name = text;
        LPITEMIDLIST list = nullptr;
        ULONG eaten = 77;
        ULONG attributes = 88;
        ASSERT_EQ(folder->ParseDisplayName(nullptr, nullptr, name.data(), &eaten, &list, &attributes), S_OK);
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(Copy(list), kNamespaceRootList);
        EXPECT_EQ(vtls::test::AllocatedSize(list), 20u);
        EXPECT_EQ(eaten, 77u);
        EXPECT_EQ(attributes, 88u);
        VtlsSHFree(list);
    }
    LPITEMIDLIST other = nullptr;
    std::wstring plain = L"::{5D0C8E51-7A43-4B6E-9C1F-2E6B9047D318}";
    ASSERT_EQ(folder->ParseDisplayName(nullptr, nullptr, plain.data(), nullptr, &other, nullptr), S_OK);
    EXPECT_EQ(Copy(other), List({RootItem(kPlainClassId)}));
    VtlsSHFree(other);
}

TEST(DesktopFolder, PassesParseErrorsThroughAndRefusesShortNames) {
    IShellFolder* folder = Desktop();
    for (const wchar_t* rest : {L"not a class id", L"{BC99C20F-9257-11D3-A28A-08002132258}", L"",
                                L"{BC99C20F-9257-11D3-A28A-080021322581"}) {
        CLSID ignored;
        const HRESULT platform = CLSIDFromString(rest, &ignored);
        ASSERT_TRUE(FAILED(platform)) << "the platform takes this as a class id";
        std::wstring name = std::wstring(L"::") + rest;
        LPITEMIDLIST list = Sentinel<LPITEMIDLIST>();
        EXPECT_EQ(folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &list, nullptr), platform);
        EXPECT_EQ(list, Sentinel<LPITEMIDLIST>());
    }
    for (const wchar_t* tooShort : {L"", L":"}) {
        std::wstring name = tooShort;
        LPITEMIDLIST list = Sentinel<LPITEMIDLIST>();
        EXPECT_EQ(folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, &list, nullptr), E_INVALIDARG);
        EXPECT_EQ(list, Sentinel<LPITEMIDLIST>());
    }
    LPITEMIDLIST list = Sentinel<LPITEMIDLIST>();
    EXPECT_EQ(folder->ParseDisplayName(nullptr, nullptr, nullptr, nullptr, &list, nullptr), E_INVALIDARG);
    EXPECT_EQ(list, Sentinel<LPITEMIDLIST>());
    std::wstring name = L"::{BC99C20F-9257-11D3-A28A-080021322581}";
    EXPECT_EQ(folder->ParseDisplayName(nullptr, nullptr, name.data(), nullptr, nullptr, nullptr), E_INVALIDARG);
}

TEST(DesktopFolder, DeclinesEverythingElseWithoutTouchingArguments) {
    IShellFolder* folder = Desktop();
    const Bytes root = kNamespaceRootList;
    LPCITEMIDLIST children[] = {Pidl(root)};
    void* object = Sentinel<void*>();
    IEnumIDList* enumerator = Sentinel<IEnumIDList*>();
    SFGAOF attributes = 0x1234;
    STRRET name;
    name.uType = 0x4321;
    LPITEMIDLIST renamed = Sentinel<LPITEMIDLIST>();
    UINT reserved = 0x55;
    EXPECT_EQ(folder->EnumObjects(nullptr, SHCONTF_FOLDERS, &enumerator), E_NOTIMPL);
    EXPECT_EQ(folder->BindToStorage(Pidl(root), nullptr, IID_IStream, &object), E_NOTIMPL);
    EXPECT_EQ(folder->CreateViewObject(nullptr, IID_IShellView, &object), E_NOTIMPL);
    EXPECT_EQ(folder->GetAttributesOf(1, children, &attributes), E_NOTIMPL);
    EXPECT_EQ(folder->GetUIObjectOf(nullptr, 1, children, IID_IDataObject, &reserved, &object), E_NOTIMPL);
    EXPECT_EQ(folder->GetDisplayNameOf(Pidl(root), SHGDN_NORMAL, &name), E_NOTIMPL);
    EXPECT_EQ(folder->SetNameOf(nullptr, Pidl(root), L"new", SHGDN_NORMAL, &renamed), E_NOTIMPL);
    EXPECT_EQ(object, Sentinel<void*>());
    EXPECT_EQ(enumerator, Sentinel<IEnumIDList*>());
    EXPECT_EQ(attributes, 0x1234u);
    EXPECT_EQ(name.uType, 0x4321u);
    EXPECT_EQ(renamed, Sentinel<LPITEMIDLIST>());
    EXPECT_EQ(reserved, 0x55u);
}

// Two class ids whose order in memory differs from their order as numbers: the
// first bytes of Data1 (little-endian) decide.
constexpr CLSID kLowClass{0xFF000001, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};   // bytes 01 00 00 FF ...
constexpr CLSID kHighClass{0x00000002, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};  // bytes 02 00 00 00 ...

TEST(DesktopFolder, OrdersRootItemsByClassIdBytesThenDepth) {
    IShellFolder* folder = Desktop();
    const Bytes child = RawItem({1, 2, 3});
    struct Case {
        const char* what;
        Bytes a;
        Bytes b;
        HRESULT expected;
    };
    const Case cases[] = {
        {"same class, same depth", List({RootItem(kLowClass)}), List({RootItem(kLowClass)}), 0},
        {"same class, A shallower", List({RootItem(kLowClass)}), List({RootItem(kLowClass), child}), kBefore},
        {"same class, A deeper", List({RootItem(kLowClass), child}), List({RootItem(kLowClass)}), kAfter},
        {"class bytes, not numbers", List({RootItem(kLowClass)}), List({RootItem(kHighClass)}), kBefore},
        {"class before depth", List({RootItem(kHighClass)}), List({RootItem(kLowClass), child}), kAfter},
        {"class before depth, reversed", List({RootItem(kLowClass), child}), List({RootItem(kHighClass)}),
         kBefore},
    };
    for (const Case& c : cases) {
        for (const LPARAM sorting : {LPARAM{0}, LPARAM{1}, static_cast<LPARAM>(SHCIDS_CANONICALONLY)}) {
            EXPECT_EQ(folder->CompareIDs(sorting, Pidl(c.a), Pidl(c.b)), c.expected) << c.what;
        }
    }
}

TEST(DesktopFolder, OrdersTheItemsBelowEqualRootItemsAsTheLibraryDoes) {
    IShellFolder* folder = Desktop();
    const Bytes alpha = EncodeReal(5, u"Alpha");
    const Bytes beta = EncodeReal(5, u"beta");
    const Bytes root = RootItem(kRootClassId);
    const Bytes pairs[][2] = {
        {List({alpha}), List({beta})},
        {List({beta}), List({alpha})},
        {List({alpha}), List({EncodeReal(5, u"ALPHA")})},
        {List({beta}), List({alpha, alpha})},
        {List({RawItem({9})}), List({alpha})},
    };
    for (const auto& pair : pairs) {
        Bytes a = List({root});
        a.insert(a.end() - 2, pair[0].begin(), pair[0].end() - 2);
        Bytes b = List({root});
        b.insert(b.end() - 2, pair[1].begin(), pair[1].end() - 2);
        EXPECT_EQ(folder->CompareIDs(0, Pidl(a), Pidl(b)), VtlsComparePIDLs(Pidl(pair[0]), Pidl(pair[1])));
    }
    Bytes alphaBelow = List({root, alpha});
    Bytes betaBelow = List({root, beta});
    EXPECT_EQ(folder->CompareIDs(0, Pidl(alphaBelow), Pidl(betaBelow)), kBefore);
    // What the library's order refuses comes back as it answers.
    Bytes huge = List({root, Bytes(40000, 0)});
    vtls::itemid::StoreU16(huge.data() + 18, 40000);
    Bytes small = List({root, alpha});
    EXPECT_EQ(folder->CompareIDs(0, Pidl(huge), Pidl(small)), E_INVALIDARG);
}

TEST(DesktopFolder, RefusesToOrderListsWithoutRootItems) {
    IShellFolder* folder = Desktop();
    const Bytes root = List({RootItem(kRootClassId)});
    Bytes seventeen = List({Bytes(17, 0)});
    seventeen[0] = 17;
    Bytes nineteen = List({Bytes(19, 0)});
    nineteen[0] = 19;
    for (const Bytes& other : {seventeen, nineteen, List({}), List({EncodeReal(5, u"Alpha")})}) {
        EXPECT_EQ(folder->CompareIDs(0, Pidl(other), Pidl(root)), E_FAIL);
        EXPECT_EQ(folder->CompareIDs(0, Pidl(root), Pidl(other)), E_FAIL);
    }
    EXPECT_EQ(folder->CompareIDs(0, nullptr, Pidl(root)), E_INVALIDARG);
    EXPECT_EQ(folder->CompareIDs(0, Pidl(root), nullptr), E_INVALIDARG);
}

TEST(NamespacePidl, IsTheRootItemOfTheClassFromTheShellAllocator) {
    LPITEMIDLIST list = nullptr;
    ASSERT_EQ(ILGetNamespacePIDL(&kRootClassId, &list), S_OK);
    EXPECT_EQ(Copy(list), kNamespaceRootList);
    EXPECT_EQ(vtls::test::AllocatedSize(list), 20u);
    VtlsSHFree(list);
}

}  // namespace
