// VtlsGetObject against a real local server in a process of its own: the tests'
// vtls_item_server.exe, registered under LocalServer32 for the item server's
// class id, its IItemObjectFactory marshalled by the widl-built proxy/stub with
// the item list as a user-marshalled type.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "VantrelSh.h"
#include "com_registration.h"
#include "base/com_ptr.h"
#include "namespace_lists.h"
#include "peers/item_server_names.h"

namespace {

using vtls::ComPtr;
using vtls::test::Bytes;
using vtls::test::ComApartment;
using vtls::test::EncodePlaceholder;
using vtls::test::EncodeReal;
using vtls::test::Hex;
using vtls::test::List;
using vtls::test::Pidl;
using vtls::test::RawItem;
using vtls::test::ResultItem;
using vtls::test::RootItem;

constexpr CLSID kNamespaceRoot{0xBC99C20F, 0x9257, 0x11D3, {0xA2, 0x8A, 0x08, 0x00, 0x21, 0x32, 0x25, 0x81}};

std::string ReadAll(IStream* stream) {
    std::string text;
    char buffer[4096];
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(buffer, sizeof buffer, &read)) && read > 0) {
        text.append(buffer, read);
    }
    return text;
}

class ItemServer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        proxyStub_ = std::make_unique<vtls::test::ProxyStubRegistration>(L"vtls_item_factory_ps.dll");
        server_ = std::make_unique<vtls::test::ClassRegistration>(
            kItemServerClassId, L"LocalServer32", L"\"" + vtls::test::ProgramFolder() + L"\\vtls_item_server.exe\"");
        quit_.reset(CreateEventW(nullptr, TRUE, FALSE, kItemServerQuitEvent));
        ResetEvent(quit_.get());
    }
    // Lets every server that answered end, then removes the registrations.
    static void TearDownTestSuite() {
        SetEvent(quit_.get());
        for (const DWORD id : serverProcesses_) {
            const vtls::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
            if (process) {
                EXPECT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0) << "server " << id;
            }
        }
        quit_.reset();
        server_.reset();
        proxyStub_.reset();
    }

    void SetUp() override {
        ASSERT_EQ(proxyStub_->result(), S_OK) << "registering the proxy/stub failed";
        ASSERT_TRUE(server_->ok()) << "registering the local server failed";
        ASSERT_EQ(com_.result(), S_OK);
    }

    // The server's answer "pid=<id> list=<hex|null>"; the id must be another
    // process's.
    static std::string ListSeenByServer(IStream* stream) {
        const std::string text = ReadAll(stream);
        const std::size_t listAt = text.find(" list=");
        if (text.rfind("pid=", 0) != 0 || listAt == std::string::npos) {
            return "<unexpected answer: " + text + ">";
        }
        const DWORD server = static_cast<DWORD>(std::stoul(text.substr(4, listAt - 4)));
        serverProcesses_.insert(server);
        if (server == GetCurrentProcessId()) {
            return "<answered in this process>";
        }
        return text.substr(listAt + 6);
    }

    static inline std::unique_ptr<vtls::test::ProxyStubRegistration> proxyStub_;
    static inline std::unique_ptr<vtls::test::ClassRegistration> server_;
    static inline vtls::UniqueHandle quit_;
    static inline std::set<DWORD> serverProcesses_;
    ComApartment com_;
};

TEST_F(ItemServer, WithoutAListTheClassObjectComesUnderTheInterfaceAskedFor) {
    ComPtr<IItemObjectFactory> factory;
    ASSERT_EQ(VtlsGetObject(nullptr, IID_IItemObjectFactory, reinterpret_cast<void**>(factory.put())), S_OK);
    ASSERT_TRUE(factory);
    // Through the library's declaration of the interface, slot by slot.
    EXPECT_EQ(factory->Reserved1(), E_NOTIMPL);
    const Bytes list = List({RootItem(kNamespaceRoot), RawItem({1, 2, 3})});
    ComPtr<IStream> stream;
    ASSERT_EQ(factory->CreateItemObject(Pidl(list), IID_IStream, reinterpret_cast<void**>(stream.put())), S_OK);
    EXPECT_EQ(ListSeenByServer(stream.get()), Hex(list));
    ASSERT_EQ(factory->CreateItemObject(nullptr, IID_IStream, reinterpret_cast<void**>(stream.put())), S_OK);
    EXPECT_EQ(ListSeenByServer(stream.get()), "null");

    ComPtr<IUnknown> unknown;
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IUnknown, reinterpret_cast<void**>(unknown.put())), S_OK);
    EXPECT_TRUE(unknown);
    void* missing = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IClassFactory, &missing), E_NOINTERFACE);
    EXPECT_EQ(missing, nullptr);
}

TEST_F(ItemServer, WithAListTheServerHandsOutTheObjectForIt) {
    const Bytes list = List({RootItem(kNamespaceRoot), EncodeReal(12, u"PLANT-SCADA01", 0x3C, 7, {9, 8, 7}),
                             EncodePlaceholder(1, 0x80004005)});
    for (const IID& riid : {IID_IStream, IID_ISequentialStream}) {
        ComPtr<IStream> stream;
        ASSERT_EQ(VtlsGetObject(Pidl(list), riid, reinterpret_cast<void**>(stream.put())), S_OK);
        ASSERT_TRUE(stream);
        EXPECT_EQ(ListSeenByServer(stream.get()), Hex(list));
    }
}

TEST_F(ItemServer, ListsOfManyLargeItemsCrossWhole) {
    Bytes list;
    for (std::uint8_t fill = 1; fill <= 4; ++fill) {
        const Bytes item = EncodeReal(5, u"big", fill, 0, Bytes(65000, fill));
        list.insert(list.end(), item.begin(), item.end());
    }
    list.push_back(0);
    list.push_back(0);
    ComPtr<IStream> stream;
    ASSERT_EQ(VtlsGetObject(Pidl(list), IID_IStream, reinterpret_cast<void**>(stream.put())), S_OK);
    EXPECT_EQ(ListSeenByServer(stream.get()), Hex(list));
}

TEST_F(ItemServer, TheServersAnswersComeBackUnchanged) {
    const HRESULT custom = static_cast<HRESULT>(0x80041234);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(Pidl(List({ResultItem(custom)})), IID_IStream, &object), custom);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    const Bytes list = List({RootItem(kNamespaceRoot)});
    EXPECT_EQ(VtlsGetObject(Pidl(list), IID_IShellFolder, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(ItemServerAbsent, COMsAnswerComesBackWhenNoServerIsRegistered) {
    ComApartment com;
    ASSERT_EQ(com.result(), S_OK);
    ASSERT_NE(RegDeleteTreeW(HKEY_LOCAL_MACHINE, vtls::test::ClassKeyPath(kItemServerClassId).c_str()),
              ERROR_SUCCESS)
        << "a registration was left behind";
    void* platformObject = nullptr;
    const HRESULT platform =
        CoGetClassObject(kItemServerClassId, CLSCTX_LOCAL_SERVER, nullptr, IID_IUnknown, &platformObject);
    ASSERT_TRUE(FAILED(platform));
    const Bytes list = List({RootItem(kNamespaceRoot)});
    for (const LPCITEMIDLIST asked : {LPCITEMIDLIST{nullptr}, Pidl(list)}) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(VtlsGetObject(asked, IID_IUnknown, &object), platform);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(platform, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);
}

// The sibling is imported by ordinal, so it comes with the library.
TEST(ItemServerAbsent, LoadingTheLibraryLoadsItsSibling) {
    EXPECT_NE(GetModuleHandleW(L"VantrelUi.dll"), nullptr);
}

}  // namespace
