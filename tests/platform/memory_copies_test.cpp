// VtlsCopyHGlobal and VtlsCopyStream through the DLL's exports.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "base/unique_resource.h"

namespace {

using vtls::ComPtr;
using vtls::UniqueGlobal;

std::string Pattern(size_t size) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 + 3);
    return bytes;
}

std::string GlobalBytes(HGLOBAL memory) {
    const vtls::GlobalLockScope locked(memory);
    const auto* bytes = static_cast<const char*>(locked.address());
    return bytes != nullptr ? std::string(bytes, GlobalSize(memory)) : std::string();
}

TEST(VtlsCopyHGlobal, CopiesEveryByteIntoNewFixedMemoryLeavingTheSourceAsItWas) {
    const struct {
        UINT flags;
        size_t size;
        UINT callerLocks;  // locks the caller holds during the copy
    } cases[] = {{GMEM_MOVEABLE, 1, 0}, {GMEM_MOVEABLE, 4097, 0}, {GMEM_MOVEABLE, 64, 1}, {GMEM_FIXED, 100000, 0}};
    for (const auto& c : cases) {
        const std::string bytes = Pattern(c.size);
        const UniqueGlobal source(GlobalAlloc(c.flags, c.size));
        std::memcpy(vtls::GlobalLockScope(source.get()).address(), bytes.data(), c.size);
        for (UINT i = 0; i < c.callerLocks; ++i) GlobalLock(source.get());
        const UniqueGlobal copy(VtlsCopyHGlobal(source.get()));
        ASSERT_TRUE(copy) << c.size;
        EXPECT_NE(copy.get(), source.get());
        EXPECT_EQ(GlobalLock(copy.get()), static_cast<void*>(copy.get())) << "not fixed memory";
        GlobalUnlock(copy.get());
        EXPECT_EQ(GlobalBytes(copy.get()), bytes);
        EXPECT_EQ(GlobalFlags(source.get()) & GMEM_LOCKCOUNT, c.callerLocks) << "source left locked";
        for (UINT i = 0; i < c.callerLocks; ++i) GlobalUnlock(source.get());
        std::memset(copy.get(), 0xEE, c.size);
        EXPECT_EQ(GlobalBytes(source.get()), bytes) << "the copy is the source's";
    }
    // Empty, freed (moveable handles are checked even after they are freed) or none.
    const UniqueGlobal empty(GlobalAlloc(GMEM_MOVEABLE, 0));
    EXPECT_EQ(VtlsCopyHGlobal(empty.get()), nullptr);
    const HGLOBAL freed = GlobalAlloc(GMEM_MOVEABLE, 32);
    ASSERT_EQ(GlobalFree(freed), nullptr);
    EXPECT_EQ(VtlsCopyHGlobal(freed), nullptr);
    EXPECT_EQ(VtlsCopyHGlobal(nullptr), nullptr);
}

ComPtr<IStream> StreamWith(const std::string& bytes, LONGLONG position) {
    ComPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    LARGE_INTEGER offset{};
    offset.QuadPart = position;
    stream->Seek(offset, STREAM_SEEK_SET, nullptr);
    return stream;
}

ULONGLONG Position(IStream* stream) {
    ULARGE_INTEGER position{};
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

std::string ReadRest(IStream* stream) {
    std::string bytes(1 << 20, '\0');
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes.substr(0, read);
}

ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST(VtlsCopyStream, CopiesTheWholeSourceWhereverItStandsIntoANewStream) {
    const std::string content = "The whole stream, from its first byte to its last.";
    const std::pair<std::string, size_t> cases[] = {{content, 0}, {content, 20}, {content, content.size()}, {"", 0},
                                                    {std::string(70000, 'x') + content, 12345}};
    for (const auto& [bytes, position] : cases) {
        const ComPtr<IStream> source = StreamWith(bytes, static_cast<LONGLONG>(position));
        const ULONG sourceReferences = References(source.get());
        ComPtr<IStream> copy;
        ASSERT_EQ(VtlsCopyStream(source.get(), copy.put()), S_OK);
        EXPECT_NE(copy.get(), source.get());
        EXPECT_EQ(References(copy.get()), 1u);
        EXPECT_EQ(References(source.get()), sourceReferences);
        EXPECT_EQ(Position(copy.get()), 0u);
        EXPECT_EQ(Position(source.get()), bytes.size());
        EXPECT_EQ(ReadRest(copy.get()), bytes);
        ASSERT_EQ(copy->Write("changed!", 8, nullptr), S_OK);
        ASSERT_EQ(source->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
        EXPECT_EQ(ReadRest(source.get()), bytes) << "the copy is the source's";
    }
    IStream* copy = reinterpret_cast<IStream*>(1);
    EXPECT_EQ(VtlsCopyStream(nullptr, &copy), E_INVALIDARG);
    EXPECT_EQ(copy, nullptr);
    EXPECT_EQ(VtlsCopyStream(StreamWith("x", 0).get(), nullptr), E_INVALIDARG);
}

// A source whose Stat, Seek and CopyTo answer as told. It records the calls,
// counts references and keeps a reference to the stream CopyTo was given.
class FakeSource final : public IStream {
public:
    HRESULT statResult = S_OK, seekResult = S_OK, copyResult = S_OK;
    ULONGLONG size = 0, copyCount = 0;
    std::string calls;
    ComPtr<IStream> target;
    LONG references = 1;

    STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
        *object = iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream ? this : nullptr;
        if (*object != nullptr) AddRef();
        return *object != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references); }
    STDMETHODIMP_(ULONG) Release() override { return static_cast<ULONG>(--references); }
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override {
        calls += "Stat(" + std::to_string(flags) + ") ";
        *stat = STATSTG{};
        stat->cbSize.QuadPart = size;
        return statResult;
    }
    STDMETHODIMP Seek(LARGE_INTEGER offset, DWORD origin, ULARGE_INTEGER*) override {
        calls += "Seek(" + std::to_string(offset.QuadPart) + "," + std::to_string(origin) + ") ";
        return seekResult;
    }
    STDMETHODIMP CopyTo(IStream* to, ULARGE_INTEGER count, ULARGE_INTEGER* read, ULARGE_INTEGER* wrote) override {
        calls += "CopyTo ";
        copyCount = count.QuadPart;
        to->AddRef();
        *target.put() = to;
        ULONG done = 0;
        if (SUCCEEDED(copyResult)) to->Write("bytes", 5, &done);
        if (read != nullptr) read->QuadPart = done;
        if (wrote != nullptr) wrote->QuadPart = done;
        return copyResult;
    }
    STDMETHODIMP Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }
};

TEST(VtlsCopyStream, FollowsTheSourcesAnswers) {
    const struct {
        HRESULT stat, seek, copy;
        ULONGLONG size;
        HRESULT expected;
        const char* calls;
    } cases[] = {
        {STG_E_ACCESSDENIED, S_OK, S_OK, 5, STG_E_ACCESSDENIED, "Stat(1) "},
        {S_OK, S_OK, STG_E_READFAULT, 5, STG_E_READFAULT, "Stat(1) Seek(0,0) CopyTo "},
        {S_OK, S_OK, E_OUTOFMEMORY, 0x100000005ull, E_OUTOFMEMORY, "Stat(1) Seek(0,0) CopyTo "},  // beyond 32 bits
        {S_OK, E_FAIL, S_OK, 5, S_OK, "Stat(1) Seek(0,0) CopyTo "},  // Seek's answer is not examined
        {S_OK, S_OK, S_OK, 5, S_OK, "Stat(1) Seek(0,0) CopyTo "},
    };
    for (const auto& c : cases) {
        FakeSource source;
        source.statResult = c.stat;
        source.seekResult = c.seek;
        source.copyResult = c.copy;
        source.size = c.size;
        IStream* copy = &source;  // anything but null
        EXPECT_EQ(VtlsCopyStream(&source, &copy), c.expected);
        EXPECT_EQ(source.calls, c.calls);
        EXPECT_EQ(source.references, 1) << "source references unbalanced";
        if (source.target) {
            EXPECT_EQ(source.copyCount, c.size) << "CopyTo not asked for the whole size";
        }
        if (FAILED(c.expected)) {
            EXPECT_EQ(copy, nullptr);
            if (source.target) {
                EXPECT_EQ(References(source.target.get()), 1u) << "new stream leaked";
            }
            continue;
        }
        const ComPtr<IStream> owned = ComPtr<IStream>::Attach(copy);
        EXPECT_EQ(owned.get(), source.target.get());
        EXPECT_EQ(References(owned.get()), 2u) << "the copy's own and the fake's";
        EXPECT_EQ(Position(owned.get()), 0u);
        EXPECT_EQ(ReadRest(owned.get()), "bytes");
    }
}

}  // namespace
