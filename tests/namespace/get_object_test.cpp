// VtlsGetObject against a real local server in a process of its own: the tests'
// vtls_item_server.exe, its IItemObjectFactory marshalled by the widl-built
// proxy/stub with the item list as a user-marshalled type.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "namespace_helpers.h"
#include "peers/item_server_names.h"
#include "peers/test_folder_ids.h"

namespace {

using namespace vtls::test;
using vtls::ComPtr;

class ItemServer : public testing::Test {
protected:
    static void SetUpTestSuite() {
        proxyStub_ = std::make_unique<ProxyStubRegistration>(L"vtls_item_factory_ps.dll");
        server_ = std::make_unique<ServerRegistration>(kItemServerClassId, L"LocalServer32",
                                                       L"\"" + ProgramFolder() + L"\\vtls_item_server.exe\"");
        quit_.reset(CreateEventW(nullptr, TRUE, FALSE, kItemServerQuitEvent));
        ResetEvent(quit_.get());
    }
    // Lets every server that answered end, then removes the registrations.
    static void TearDownTestSuite() {
        SetEvent(quit_.get());
        for (const DWORD id : servers_) {
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

    // The list in the server's answer "pid=<id> list=<hex|null>"; the id must be
    // another process's.
    static std::string ListSeenByServer(IStream* stream) {
        std::string text(1 << 20, '\0');
        ULONG read = 0;
        stream->Read(text.data(), static_cast<ULONG>(text.size()), &read);
        text.resize(read);
        const std::size_t listAt = text.find(" list=");
        if (text.rfind("pid=", 0) != 0 || listAt == std::string::npos) return "<unexpected answer: " + text + ">";
        const auto server = static_cast<DWORD>(std::stoul(text.substr(4, listAt - 4)));
        servers_.insert(server);
        return server == GetCurrentProcessId() ? "<answered in this process>" : text.substr(listAt + 6);
    }

    static inline std::unique_ptr<ProxyStubRegistration> proxyStub_;
    static inline std::unique_ptr<ServerRegistration> server_;
    static inline vtls::UniqueHandle quit_;
    static inline std::set<DWORD> servers_;
    ComApartment com_;
};

TEST_F(ItemServer, WithoutAListTheClassObjectComesUnderTheInterfaceAskedFor) {
    ComPtr<IItemObjectFactory> factory;
    ASSERT_EQ(VtlsGetObject(nullptr, IID_IItemObjectFactory, reinterpret_cast<void**>(factory.put())), S_OK);
    // Through the library's declaration of the interface, slot by slot.
    EXPECT_EQ(factory->Reserved1(), E_NOTIMPL);
    const Bytes list = List({RootItem(kRootClassId), RawItem({1, 2, 3})});
    ComPtr<IStream> stream;
    ASSERT_EQ(factory->CreateItemObject(Pidl(list), IID_IStream, reinterpret_cast<void**>(stream.put())), S_OK);
    EXPECT_EQ(ListSeenByServer(stream.get()), Hex(list));
    ASSERT_EQ(factory->CreateItemObject(nullptr, IID_IStream, reinterpret_cast<void**>(stream.put())), S_OK);
    EXPECT_EQ(ListSeenByServer(stream.get()), "null");
    void* missing = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IClassFactory, &missing), E_NOINTERFACE);
    EXPECT_EQ(missing, nullptr);
}

TEST_F(ItemServer, WithAListTheServerHandsOutTheObjectForItWhole) {
    Bytes big;
    for (std::uint8_t fill = 1; fill <= 4; ++fill) {
        const Bytes item = EncodeReal(5, u"big", fill, 0, Bytes(65000, fill));
        big.insert(big.end(), item.begin(), item.end());
    }
    big.insert(big.end(), {0, 0});
    const Bytes lists[] = {List({RootItem(kRootClassId), EncodeReal(12, u"PLANT-SCADA01", 0x3C, 7, {9, 8, 7}),
                                 EncodePlaceholder(1, 0x80004005)}),
                           big};
    for (const Bytes& list : lists) {
        for (const IID& riid : {IID_IStream, IID_ISequentialStream}) {
            ComPtr<IStream> stream;
            ASSERT_EQ(VtlsGetObject(Pidl(list), riid, reinterpret_cast<void**>(stream.put())), S_OK);
            EXPECT_EQ(ListSeenByServer(stream.get()), Hex(list));
        }
    }
}

TEST_F(ItemServer, TheServersAnswersComeBackUnchanged) {
    const HRESULT custom = static_cast<HRESULT>(0x80041234);
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(Pidl(List({ResultItem(custom)})), IID_IStream, &object), custom);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(Pidl(List({RootItem(kRootClassId)})), IID_IShellFolder, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

TEST(ItemServerAbsent, COMsAnswerComesBackWhenNoServerIsRegistered) {
    ComApartment com;
    ASSERT_EQ(com.result(), S_OK);
    ASSERT_NE(RegDeleteTreeW(HKEY_LOCAL_MACHINE, ClassKey::Path(kItemServerClassId).c_str()), ERROR_SUCCESS)
        << "a registration was left behind";
    const Bytes list = List({RootItem(kRootClassId)});
    for (const LPCITEMIDLIST asked : {LPCITEMIDLIST{nullptr}, Pidl(list)}) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(VtlsGetObject(asked, IID_IUnknown, &object), REGDB_E_CLASSNOTREG);
        EXPECT_EQ(object, nullptr);
    }
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);
    // The sibling is imported by ordinal, so it comes with the library.
    EXPECT_NE(GetModuleHandleW(L"VantrelUi.dll"), nullptr);
}

}  // namespace
