// The desktop folder through its export (parsing, the order of root items),
// the namespace root's lists and the property records.
// Binding is in com_peers_test.cpp.
#include <gtest/gtest.h>

#include <vector>

#include "VantrelSh.h"
#include "namespace_helpers.h"

namespace {

using namespace vtls::test;

constexpr HRESULT kBefore = 0xFFFF;
constexpr HRESULT kAfter = 1;
// No pointer the library would write: an untouched out-pointer still holds it.
const auto kSentinel = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0x5EE5EE00));

// What the task allocator says it handed out for a block.
SIZE_T AllocatedSize(const void* memory) {
    IMalloc* allocator = nullptr;
    if (FAILED(CoGetMalloc(1, &allocator))) return 0;
    const SIZE_T size = allocator->GetSize(const_cast<void*>(memory));
    allocator->Release();
    return size;
}

IShellFolder* Desktop() {
    IShellFolder* folder = nullptr;
    EXPECT_EQ(GetDesktopFolderInstance(&folder), S_OK);
    return folder;
}

HRESULT Parse(const std::wstring& text, LPITEMIDLIST* list, ULONG* eaten = nullptr, ULONG* attributes = nullptr) {
    std::wstring name = text;
    return Desktop()->ParseDisplayName(nullptr, nullptr, name.data(), eaten, list, attributes);
}

TEST(DesktopFolder, ParsesAClassIdIntoARootItemAndPassesParseErrorsThrough) {
    // The first two characters are skipped unread, whatever they are.
    for (const wchar_t* text : {L"::{BC99C20F-9257-11D3-A28A-080021322581}", L"ab{bc99c20f-9257-11d3-a28a-080021322581}"}) {
        LPITEMIDLIST list = nullptr;
        ULONG eaten = 77, attributes = 88;
        ASSERT_EQ(Parse(text, &list, &eaten, &attributes), S_OK);
        EXPECT_EQ(ListBytes(list), kNamespaceRootList);
        EXPECT_EQ(AllocatedSize(list), 20u);
        EXPECT_EQ(eaten + attributes, 77u + 88u);
        VtlsSHFree(list);
    }
    CLSID ignored;
    const HRESULT platform = CLSIDFromString(L"{BC99C20F-9257-11D3-A28A-080021322581", &ignored);
    ASSERT_TRUE(FAILED(platform));
    auto unparsed = static_cast<LPITEMIDLIST>(kSentinel);
    EXPECT_EQ(Parse(L"::{BC99C20F-9257-11D3-A28A-080021322581", &unparsed), platform);
    EXPECT_EQ(unparsed, kSentinel);
    for (const wchar_t* tooShort : {L"", L":"}) {
        auto list = static_cast<LPITEMIDLIST>(kSentinel);
        EXPECT_EQ(Parse(tooShort, &list), E_INVALIDARG);
        EXPECT_EQ(list, kSentinel);
    }
    auto list = static_cast<LPITEMIDLIST>(kSentinel);
    EXPECT_EQ(Desktop()->ParseDisplayName(nullptr, nullptr, nullptr, nullptr, &list, nullptr), E_INVALIDARG);
    EXPECT_EQ(list, kSentinel);
    EXPECT_EQ(Parse(L"::{BC99C20F-9257-11D3-A28A-080021322581}", nullptr), E_INVALIDARG);
}

// Root items order by class id bytes before depth (portable root_item_test has
// the rule's details): kRootClassId's bytes (0F C2 ...) come before those of
// kItemServerClassId (70 67 ...), though as a number it is the larger. Below
// equal root items the rest orders as VtlsComparePIDLs orders it. A list must
// begin with a root item.
TEST(DesktopFolder, OrdersByRootItemsThenAsTheLibraryOrdersTheRest) {
    IShellFolder* folder = Desktop();
    const Bytes root = RootItem(kRootClassId), alpha = EncodeReal(5, u"Alpha"), beta = EncodeReal(5, u"beta");
    const Bytes low = List({root}), lowDeeper = List({root, RawItem({1, 2, 3})});
    EXPECT_EQ(folder->CompareIDs(SHCIDS_CANONICALONLY, Pidl(List({RootItem(kItemServerClassId)})), Pidl(lowDeeper)),
              kAfter);
    EXPECT_EQ(folder->CompareIDs(0, Pidl(low), Pidl(lowDeeper)), kBefore);
    EXPECT_EQ(folder->CompareIDs(0, Pidl(List({root, beta})), Pidl(List({root, alpha}))),
              VtlsComparePIDLs(Pidl(List({beta})), Pidl(List({alpha}))));
    EXPECT_EQ(folder->CompareIDs(0, Pidl(low), Pidl(List({RawItem({1, 2, 3})}))), E_FAIL);
    EXPECT_EQ(folder->CompareIDs(0, Pidl(List({alpha})), Pidl(low)), E_FAIL);
    EXPECT_EQ(folder->CompareIDs(0, nullptr, Pidl(low)), E_INVALIDARG);
}

TEST(NamespaceRoot, ListsComeFromTheShellAllocatorForTheRootNumbersOnly) {
    std::vector<LPITEMIDLIST> lists(3);
    ASSERT_EQ(ILGetNamespacePIDL(&kRootClassId, &lists[0]), S_OK);
    ASSERT_EQ(VtlsGetSpecialFolderLocation(VTLS_FOLDER_ROOT, &lists[1]), S_OK);
    ASSERT_EQ(VtlsGetSpecialFolderLocation(VTLS_FOLDER_ROOT_ALT, &lists[2]), S_OK);
    for (const LPITEMIDLIST list : lists) {
        EXPECT_EQ(ListBytes(list), kNamespaceRootList);
        EXPECT_EQ(AllocatedSize(list), 20u);
        VtlsSHFree(list);
    }
    for (const INT folder : {1, 2, 0x8000, 0x8001, 0x8003, 0x10002, -1}) {
        auto list = static_cast<LPITEMIDLIST>(kSentinel);
        EXPECT_EQ(VtlsGetSpecialFolderLocation(folder, &list), E_INVALIDARG) << folder;
        EXPECT_EQ(list, nullptr) << folder;
    }
    EXPECT_EQ(VtlsGetSpecialFolderLocation(VTLS_FOLDER_ROOT, nullptr), E_INVALIDARG);
}

// Records the blocks CoTaskMemFree is given while it is registered (Wine does
// not show the spy a null one).
class FreeSpy final : public IMallocSpy {
public:
    FreeSpy() : registered(SUCCEEDED(CoRegisterMallocSpy(this))) {}
    ~FreeSpy() {
        if (registered) CoRevokeMallocSpy();
    }
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        *object = riid == IID_IUnknown || riid == IID_IMallocSpy ? this : nullptr;
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP_(SIZE_T) PreAlloc(SIZE_T request) override { return request; }
    STDMETHODIMP_(void*) PostAlloc(void* actual) override { return actual; }
    STDMETHODIMP_(void*) PreFree(void* request, BOOL) override {
        if (request != nullptr) freed.push_back(request);
        return request;
    }
    STDMETHODIMP_(void) PostFree(BOOL) override {}
    STDMETHODIMP_(SIZE_T) PreRealloc(void* request, SIZE_T bytes, void** out, BOOL) override {
        *out = request;
        return bytes;
    }
    STDMETHODIMP_(void*) PostRealloc(void* actual, BOOL) override { return actual; }
    STDMETHODIMP_(void*) PreGetSize(void* request, BOOL) override { return request; }
    STDMETHODIMP_(SIZE_T) PostGetSize(SIZE_T actual, BOOL) override { return actual; }
    STDMETHODIMP_(void*) PreDidAlloc(void* request, BOOL) override { return request; }
    STDMETHODIMP_(int) PostDidAlloc(void*, BOOL, int actual) override { return actual; }
    STDMETHODIMP_(void) PreHeapMinimize() override {}
    STDMETHODIMP_(void) PostHeapMinimize() override {}

    const bool registered;
    std::vector<void*> freed;
};

// Init zeroes every byte; clearing a filled record frees the owned blocks in the
// documented order and zeroes the record, except Host, which is left as it was.
// Caller fields are never freed.
template <typename Record>
void CheckRecord(void(WINAPI* init)(Record*), void(WINAPI* clear)(Record*), std::vector<void* Record::*> owned,
                 bool zeroes) {
    Record record;
    std::memset(&record, 0xCD, sizeof record);
    init(&record);
    Record zero, before;
    std::memset(&zero, 0, sizeof zero);
    EXPECT_EQ(std::memcmp(&record, &zero, sizeof record), 0);
    std::memset(&record, 0x11, sizeof record);  // caller fields: not pointers to free
    std::vector<void*> blocks;
    for (void* Record::*field : owned) blocks.push_back(record.*field = CoTaskMemAlloc(16));
    std::memcpy(&before, &record, sizeof record);
    FreeSpy spy;
    ASSERT_TRUE(spy.registered);
    clear(&record);
    EXPECT_EQ(spy.freed, blocks);
    EXPECT_EQ(std::memcmp(&record, zeroes ? &zero : &before, sizeof record), 0);
}

TEST(PropertyRecords, ClearingFreesTheOwnedBlocksOnly) {
    CheckRecord(VtlsInitNetProperty, VtlsClearNetProperty,
                {&NetProperty::owned1, &NetProperty::owned2, &NetProperty::owned3}, true);
    CheckRecord(VtlsInitHostProperty, VtlsClearHostProperty,
                {&HostProperty::owned1, &HostProperty::owned3, &HostProperty::owned2}, false);
    CheckRecord(VtlsInitServerProperty, VtlsClearServerProperty,
                {&ServerProperty::owned1, &ServerProperty::owned2, &ServerProperty::owned3, &ServerProperty::owned4,
                 &ServerProperty::owned5, &ServerProperty::owned6},
                true);
    CheckRecord(VtlsInitBrowseProperty, VtlsClearBrowseProperty, {&BrowseProperty::owned1}, true);
}

}  // namespace
