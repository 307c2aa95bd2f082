// The server side of the list's marshalling, fed request messages of the tests'
// own making through the real stub of the widl-built proxy/stub DLL: what lies
// outside the message, or is no well-formed list, must not reach the server's
// method. The request layout is NDR's for CreateItemObject: the user-marshal
// prefix, padding to 8, the list's wire form (count, bytes), then the IID.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "VantrelSh.h"
#include "com_registration.h"
#include "base/com_ptr.h"
#include "base/unique_resource.h"
#include "list_bytes.h"

namespace {

using vtls::ComPtr;
using vtls::test::Bytes;

constexpr ULONG kCreateItemObjectSlot = 5;
// What NDR reports when a stub refuses the data it received.
constexpr HRESULT kBadStubData = HRESULT_FROM_WIN32(RPC_X_BAD_STUB_DATA);

// The server object behind the stub: records each list it is given.
class RecordingFactory final : public IItemObjectFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IItemObjectFactory) {
            *object = static_cast<IItemObjectFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Reserved1() override { return E_NOTIMPL; }
    STDMETHODIMP Reserved2() override { return E_NOTIMPL; }
    STDMETHODIMP CreateItemObject(LPCITEMIDLIST list, REFIID, void** object) override {
        const auto* at = reinterpret_cast<const std::uint8_t*>(list);
        std::size_t size = 0;
        while (at != nullptr && (at[size] != 0 || at[size + 1] != 0)) {
            size += at[size] | (at[size + 1] << 8);
        }
        calls.push_back(at != nullptr ? Bytes(at, at + size + 2) : Bytes{});
        *object = nullptr;
        return E_ACCESSDENIED;
    }

    std::vector<Bytes> calls;
};

// Just enough of a channel for a stub to answer into.
class ReplyChannel final : public IRpcChannelBuffer {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_IRpcChannelBuffer) {
            *object = static_cast<IRpcChannelBuffer*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP GetBuffer(RPCOLEMESSAGE* message, REFIID) override {
        reply_.assign(message->cbBuffer, 0);
        message->Buffer = reply_.data();
        return S_OK;
    }
    STDMETHODIMP SendReceive(RPCOLEMESSAGE*, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP FreeBuffer(RPCOLEMESSAGE* message) override {
        message->Buffer = nullptr;
        return S_OK;
    }
    STDMETHODIMP GetDestCtx(DWORD* context, void** reserved) override {
        *context = MSHCTX_LOCAL;
        *reserved = nullptr;
        return S_OK;
    }
    STDMETHODIMP IsConnected() override { return S_OK; }

private:
    std::vector<std::uint8_t> reply_;
};

void ReleasePages(void* pages) noexcept { VirtualFree(pages, 0, MEM_RELEASE); }
using UniquePages = vtls::UniqueResource<void*, ReleasePages>;

void Append32(Bytes& message, std::uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        message.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

// A request whose wire form says `count` and carries `listBytes`.
Bytes Request(std::uint32_t count, const Bytes& listBytes, bool withIid = true) {
    Bytes message = {'U', 's', 'e', 'r', 0, 0, 0, 0};
    Append32(message, count);
    message.insert(message.end(), listBytes.begin(), listBytes.end());
    if (withIid) {
        message.resize((message.size() + 3) & ~std::size_t{3}, 0);
        const auto* iid = reinterpret_cast<const std::uint8_t*>(&IID_IStream);
        message.insert(message.end(), iid, iid + sizeof(IID));
    }
    return message;
}

class ItemListStub : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(com_.result(), S_OK);
        ASSERT_TRUE(module_) << "vtls_item_factory_ps.dll did not load";
        using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
        const auto entry = reinterpret_cast<GetClassObject>(
            reinterpret_cast<void*>(GetProcAddress(module_.get(), "DllGetClassObject")));
        ASSERT_NE(entry, nullptr);
        // The proxy/stub's class id is its first interface's id.
        ComPtr<IPSFactoryBuffer> factory;
        ASSERT_EQ(entry(IID_IItemObjectFactory, IID_IPSFactoryBuffer, reinterpret_cast<void**>(factory.put())),
                  S_OK);
        ASSERT_EQ(factory->CreateStub(IID_IItemObjectFactory, &server_, stub_.put()), S_OK);
    }
    void TearDown() override {
        if (stub_) {
            stub_->Disconnect();
        }
    }

    HRESULT Invoke(Bytes message) {
        RPCOLEMESSAGE request{};
        request.dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
        request.Buffer = message.data();
        request.cbBuffer = static_cast<ULONG>(message.size());
        request.iMethod = kCreateItemObjectSlot;
        return stub_->Invoke(&request, &channel_);
    }

    vtls::test::ComApartment com_;
    vtls::UniqueModule module_{LoadLibraryW((vtls::test::ProgramFolder() + L"\\vtls_item_factory_ps.dll").c_str())};
    RecordingFactory server_;
    ReplyChannel channel_;
    ComPtr<IRpcStubBuffer> stub_;
};

TEST_F(ItemListStub, AWellFormedRequestReachesTheServerWithTheList) {
    const Bytes list = vtls::test::List({Bytes{4, 0, 0xA1, 0xA2}, Bytes{3, 0, 0xB1}});
    EXPECT_EQ(Invoke(Request(static_cast<std::uint32_t>(list.size()), list)), S_OK);
    ASSERT_EQ(server_.calls.size(), 1u);
    EXPECT_EQ(server_.calls[0], list);
    EXPECT_EQ(Invoke(Request(0, {})), S_OK);
    ASSERT_EQ(server_.calls.size(), 2u);
    EXPECT_TRUE(server_.calls[1].empty()) << "no list arrives as null";
}

TEST_F(ItemListStub, MalformedListsAreRefusedBeforeTheServerSeesThem) {
    const Bytes list = vtls::test::List({Bytes{4, 0, 0xA1, 0xA2}, Bytes{3, 0, 0xB1}});
    const std::uint32_t size = static_cast<std::uint32_t>(list.size());
    struct Case {
        const char* what;
        Bytes message;
    };
    const Case cases[] = {
        {"count past the list, into the IID", Request(size + 4, list)},
        {"count short of the terminator", Request(size - 1, list)},
        {"item beyond the count", Request(4, {0x40, 0, 0, 0})},
        {"item smaller than its size field", Request(3, {1, 0, 0})},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Invoke(c.message), kBadStubData) << c.what;
    }
    EXPECT_TRUE(server_.calls.empty());
}

// Requests that end where readable memory ends: a read past the message would
// fault rather than go unnoticed.
TEST_F(ItemListStub, NothingPastTheEndOfTheMessageIsRead) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    const SIZE_T page = system.dwPageSize;
    const UniquePages owner(VirtualAlloc(nullptr, 2 * page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_TRUE(owner);
    auto* pages = static_cast<std::uint8_t*>(owner.get());
    DWORD old = 0;
    ASSERT_TRUE(VirtualProtect(pages + page, page, PAGE_NOACCESS, &old));
    struct Case {
        const char* what;
        Bytes wire;  // a multiple of 8 bytes, so that NDR's alignment keeps it at the end
    };
    const Case cases[] = {
        {"no room for the count", {}},
        {"count beyond the message", {0xF0, 0xFF, 0xFF, 0x7F, 4, 0, 0xA1, 0xA2}},
        {"list cut by the message's end", {12, 0, 0, 0, 4, 0, 0xA1, 0xA2}},
        {"item reaching past the message", {4, 0, 0, 0, 0x20, 0, 0, 0}},
        {"no terminator before the message ends", {4, 0, 0, 0, 4, 0, 0xA1, 0xA2}},
        {"half a terminator at the message's end", {12, 0, 0, 0, 11, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0}},
    };
    for (const Case& c : cases) {
        Bytes message = {'U', 's', 'e', 'r', 0, 0, 0, 0};
        message.insert(message.end(), c.wire.begin(), c.wire.end());
        std::uint8_t* start = pages + page - message.size();
        std::memcpy(start, message.data(), message.size());
        RPCOLEMESSAGE request{};
        request.dataRepresentation = NDR_LOCAL_DATA_REPRESENTATION;
        request.Buffer = start;
        request.cbBuffer = static_cast<ULONG>(message.size());
        request.iMethod = kCreateItemObjectSlot;
        EXPECT_EQ(stub_->Invoke(&request, &channel_), kBadStubData) << c.what;
    }
    EXPECT_TRUE(server_.calls.empty());
}

}  // namespace
