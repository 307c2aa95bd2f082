// VtlsGetObject against a real local server in a process of its own: the tests'
// vtls_item_server.exe, its IItemObjectFactory marshalled by the widl-built
// proxy/stub with the item list as a user-marshalled type.
#include <gtest/gtest.h>

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

// A proxy/stub DLL registered by its own DllRegisterServer and unregistered by
// its DllUnregisterServer (the owned module makes it move-only).
struct ProxyStubRegistration {
    explicit ProxyStubRegistration(const wchar_t* dll)
        : module(LoadLibraryW((ProgramFolder() + L"\\" + dll).c_str())), result(Call("DllRegisterServer")) {}
    ~ProxyStubRegistration() {
        if (SUCCEEDED(result)) Call("DllUnregisterServer");
    }
    HRESULT Call(const char* name) const {
        const auto entry = reinterpret_cast<HRESULT(WINAPI*)()>(
            reinterpret_cast<void*>(module ? GetProcAddress(module.get(), name) : nullptr));
        return entry != nullptr ? entry() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
    }
    const vtls::UniqueModule module;
    const HRESULT result;
};

class ItemServer : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(proxyStub_.result, S_OK) << "registering the proxy/stub failed";
        ASSERT_TRUE(server_.ok()) << "registering the local server failed";
        ASSERT_EQ(com_.result(), S_OK);
        ResetEvent(quit_.get());
    }
    // Lets every server that answered end before the registrations go.
    void TearDown() override {
        SetEvent(quit_.get());
        for (const DWORD id : servers_) {
            const vtls::UniqueHandle process(OpenProcess(SYNCHRONIZE, FALSE, id));
            if (process) {
                EXPECT_EQ(WaitForSingleObject(process.get(), 20000), WAIT_OBJECT_0) << "server " << id;
            }
        }
    }

    // The list in the server's answer "pid=<id> list=<hex|null>"; the id must be
    // another process's.
    std::string ListSeenByServer(IStream* stream) {
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

    const ProxyStubRegistration proxyStub_{L"vtls_item_factory_ps.dll"};
    const ServerRegistration server_{kItemServerClassId, L"LocalServer32",
                                     L"\"" + ProgramFolder() + L"\\vtls_item_server.exe\""};
    const vtls::UniqueHandle quit_{CreateEventW(nullptr, TRUE, FALSE, kItemServerQuitEvent)};
    std::set<DWORD> servers_;
    ComApartment com_;
};

// Without a list the class object comes under the interface asked for; with one,
// the server's object for the list, or the server's answer unchanged.
TEST_F(ItemServer, ClassObjectsAndItemObjectsComeFromTheServer) {
    ComPtr<IItemObjectFactory> factory;
    ASSERT_EQ(VtlsGetObject(nullptr, IID_IItemObjectFactory, reinterpret_cast<void**>(factory.put())), S_OK);
    // Through the library's declaration of the interface, slot by slot.
    EXPECT_EQ(factory->Reserved1(), E_NOTIMPL);
    const Bytes list = List({RootItem(kRootClassId), EncodeReal(12, u"PLANT-SCADA01", 0x3C, 7, {9, 8, 7}),
                             EncodePlaceholder(1, 0x80004005)});
    ComPtr<IStream> stream;
    ASSERT_EQ(factory->CreateItemObject(nullptr, IID_IStream, reinterpret_cast<void**>(stream.put())), S_OK);
    EXPECT_EQ(ListSeenByServer(stream.get()), "null");
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);
    for (const IID& riid : {IID_IStream, IID_ISequentialStream}) {
        ASSERT_EQ(VtlsGetObject(Pidl(list), riid, reinterpret_cast<void**>(stream.put())), S_OK);
        EXPECT_EQ(ListSeenByServer(stream.get()), Hex(list));
    }
    const HRESULT custom = static_cast<HRESULT>(0x80041234);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(Pidl(List({ResultItem(custom)})), IID_IStream, &object), custom);
    EXPECT_EQ(object, nullptr);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(Pidl(List({RootItem(kRootClassId)})), IID_IShellFolder, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
}

}  // namespace
