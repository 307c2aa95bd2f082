// The namespace objects against real COM peers: VtlsGetObject against a local
// server in a process of its own (the tests' vtls_item_server.exe, its
// IItemObjectFactory marshalled by the widl-built proxy/stub with the item list
// as a user-marshalled type), and binding through a root item to an in-process
// namespace extension (vtls_test_folder.dll, under the namespace root's class id).
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "base/unique_resource.h"
#include "namespace_helpers.h"
#include "support/child_process.h"
#include "support/registry_scratch.h"

namespace {

using namespace vtls::test;
using vtls::ComPtr;

// The 6-byte item the tests' peers answer with the result stored in it.
Bytes ResultItem(HRESULT result) {
    Bytes item = RawItem({0, 0, 0, 0});
    std::memcpy(item.data() + 2, &result, sizeof result);
    return item;
}

// A class served by a program of the test suite, for one scope.
class ServerRegistration : public ClassKey {
public:
    ServerRegistration(const CLSID& id, const wchar_t* serverKey, const std::wstring& command)
        : ClassKey(id), ok_(SetText(serverKey, nullptr, command) == ERROR_SUCCESS && Visible(serverKey)) {}
    [[nodiscard]] bool ok() const { return ok_; }

private:
    bool ok_;
};

// COM on the test's thread for one scope.
class ComApartment {
public:
    explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED) : result_(CoInitializeEx(nullptr, model)) {}
    ~ComApartment() {
        if (SUCCEEDED(result_)) CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;
    [[nodiscard]] HRESULT result() const { return result_; }

private:
    HRESULT result_;
};

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
// the server's object for the list, or the server's failure unchanged.
TEST_F(ItemServer, ClassObjectsAndItemObjectsComeFromTheServer) {
    ComPtr<IItemObjectFactory> factory;
    ASSERT_EQ(VtlsGetObject(nullptr, IID_IItemObjectFactory, reinterpret_cast<void**>(factory.put())), S_OK);
    const Bytes list = List({RootItem(kRootClassId), EncodeReal(12, u"PLANT-SCADA01", 0x3C, 7, {9, 8, 7}),
                             EncodePlaceholder(1, 0x80004005)});
    ComPtr<IStream> stream;
    ASSERT_EQ(factory->CreateItemObject(nullptr, IID_IStream, reinterpret_cast<void**>(stream.put())), S_OK);
    EXPECT_EQ(ListSeenByServer(stream.get()), "null");
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(VtlsGetObject(nullptr, IID_IUnknown, nullptr), E_INVALIDARG);
    ASSERT_EQ(VtlsGetObject(Pidl(list), IID_IStream, reinterpret_cast<void**>(stream.put())), S_OK);
    EXPECT_EQ(ListSeenByServer(stream.get()), HexItems(list.data()));
    const HRESULT custom = static_cast<HRESULT>(0x80041234);
    object = reinterpret_cast<void*>(1);
    EXPECT_EQ(VtlsGetObject(Pidl(List({ResultItem(custom)})), IID_IStream, &object), custom);
    EXPECT_EQ(object, nullptr);
}

class FolderBinding : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(root_.ok()) << "registering the test folder failed";
        ASSERT_EQ(com_.result(), S_OK);
        GetDesktopFolderInstance(&desktop_);
    }
    void TearDown() override {
        // Every reference taken on a folder's behalf was given back.
        const HMODULE module = GetModuleHandleW(L"vtls_test_folder.dll");
        if (module != nullptr) {
            const auto live = reinterpret_cast<LONG(WINAPI*)()>(
                reinterpret_cast<void*>(GetProcAddress(module, "TestFolderLiveObjects")));
            EXPECT_EQ(live(), 0);
        }
    }

    // Binds list and returns what the test folder reports of itself:
    // "init=<root list> path=<items below> bc=<bind context's address>".
    std::string Report(const Bytes& list, IBindCtx* context = nullptr) const {
        ComPtr<IShellFolder> folder;
        STRRET name{};
        if (desktop_->BindToObject(Pidl(list), context, IID_IShellFolder, reinterpret_cast<void**>(folder.put())) !=
                S_OK ||
            FAILED(folder->GetDisplayNameOf(nullptr, SHGDN_FORPARSING, &name)) || name.uType != STRRET_WSTR) {
            return "<no report>";
        }
        const std::wstring text = name.pOleStr;
        CoTaskMemFree(name.pOleStr);
        return std::string(text.begin(), text.end());
    }
    const std::wstring dll_ = ProgramFolder() + L"\\vtls_test_folder.dll";
    const ServerRegistration root_{kRootClassId, L"InprocServer32", dll_};
    ComApartment com_;
    IShellFolder* desktop_ = nullptr;
};

const std::string kRootInit = "init=" + HexItems(kNamespaceRootList.data());

// The special folder location is the namespace root's list.
TEST_F(FolderBinding, TheExtensionIsInitialisedWithTheRootItemAndBindsTheRest) {
    LPITEMIDLIST root = nullptr;
    ASSERT_EQ(VtlsGetSpecialFolderLocation(VTLS_FOLDER_ROOT, &root), S_OK);
    EXPECT_EQ(Report(ListBytes(root)), kRootInit + " path= bc=0");
    VtlsSHFree(root);
    const Bytes below = List({RawItem({0xA1, 0xA2}), RawItem({0xB1, 0xB2, 0xB3, 0xB4})});
    Bytes list = List({RootItem(kRootClassId)});
    list.insert(list.end() - 2, below.begin(), below.end() - 2);
    ComPtr<IBindCtx> context;
    ASSERT_EQ(CreateBindCtx(0, context.put()), S_OK);
    EXPECT_EQ(Report(list, context.get()),
              kRootInit + " path=" + HexItems(below.data()) + " bc=" +
                  std::to_string(reinterpret_cast<std::uintptr_t>(context.get())));
}

TEST_F(FolderBinding, FailuresComeBackUnchangedAndListsWithoutARootItemAreRefused) {
    const HRESULT custom = static_cast<HRESULT>(0x80041234);
    constexpr CLSID kUnregistered{0x0BADC1A5, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};
    const struct {
        Bytes list;
        IID riid;
        HRESULT expected;
    } cases[] = {
        {List({RootItem(kRootClassId), ResultItem(custom)}), IID_IShellFolder, custom},  // extension's bind
        {List({RootItem(kRootClassId)}), IID_IDropTarget, E_NOINTERFACE},               // its QueryInterface
        {List({RootItem(kUnregistered)}), IID_IShellFolder, REGDB_E_CLASSNOTREG},        // COM's creation
        {List({RawItem({1, 2, 3})}), IID_IShellFolder, E_INVALIDARG},
    };
    for (const auto& c : cases) {
        void* object = reinterpret_cast<void*>(1);
        EXPECT_EQ(desktop_->BindToObject(Pidl(c.list), nullptr, c.riid, &object), c.expected) << HexItems(c.list.data());
        EXPECT_EQ(object, nullptr);
    }
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(desktop_->BindToObject(nullptr, nullptr, IID_IShellFolder, &object), E_INVALIDARG);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(desktop_->BindToObject(Pidl(kNamespaceRootList), nullptr, IID_IShellFolder, nullptr), E_INVALIDARG);
}

}  // namespace
