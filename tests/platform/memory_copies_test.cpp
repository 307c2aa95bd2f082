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

std::vector<unsigned char> Pattern(size_t size) {
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    }
    return bytes;
}

UniqueGlobal GlobalWith(UINT flags, const std::vector<unsigned char>& bytes) {
    UniqueGlobal memory(GlobalAlloc(flags, bytes.size()));
    if (memory && !bytes.empty()) {
        const vtls::GlobalLockScope locked(memory.get());
        std::memcpy(locked.address(), bytes.data(), bytes.size());
    }
    return memory;
}

std::vector<unsigned char> GlobalBytes(HGLOBAL memory) {
    const vtls::GlobalLockScope locked(memory);
    const auto* bytes = static_cast<const unsigned char*>(locked.address());
    return bytes != nullptr ? std::vector<unsigned char>(bytes, bytes + GlobalSize(memory))
                            : std::vector<unsigned char>();
}

UINT LockCount(HGLOBAL memory) { return GlobalFlags(memory) & GMEM_LOCKCOUNT; }

TEST(VtlsCopyHGlobal, CopiesEveryByteIntoNewFixedMemory) {
    struct Case {
        const char* name;
        UINT flags;
        size_t size;
        UINT callerLocks;  // locks the caller holds during the copy
    };
    const Case cases[] = {
        {"moveable, one byte", GMEM_MOVEABLE, 1, 0},
        {"moveable, odd size", GMEM_MOVEABLE, 4097, 0},
        {"moveable, locked by the caller", GMEM_MOVEABLE, 64, 1},
        {"fixed", GMEM_FIXED, 10, 0},
        {"fixed, large", GMEM_FIXED, 100000, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<unsigned char> bytes = Pattern(c.size);
        const UniqueGlobal source = GlobalWith(c.flags, bytes);
        ASSERT_TRUE(source);
        for (UINT i = 0; i < c.callerLocks; ++i) {
            GlobalLock(source.get());
        }

        const UniqueGlobal copy(VtlsCopyHGlobal(source.get()));

        ASSERT_TRUE(copy);
        EXPECT_NE(copy.get(), source.get());
        EXPECT_EQ(GlobalSize(copy.get()), c.size);
        EXPECT_EQ(GlobalLock(copy.get()), static_cast<void*>(copy.get())) << "not fixed memory";
        GlobalUnlock(copy.get());
        EXPECT_EQ(GlobalBytes(copy.get()), bytes);
        EXPECT_EQ(LockCount(source.get()), c.callerLocks) << "source left locked";
        for (UINT i = 0; i < c.callerLocks; ++i) {
            GlobalUnlock(source.get());
        }
        EXPECT_EQ(GlobalBytes(source.get()), bytes) << "source changed";
    }
}

TEST(VtlsCopyHGlobal, CopyIsIndependentOfTheSource) {
    const UniqueGlobal source = GlobalWith(GMEM_MOVEABLE, Pattern(16));
    const UniqueGlobal copy(VtlsCopyHGlobal(source.get()));
    ASSERT_TRUE(copy);
    std::memset(copy.get(), 0xEE, 16);
    EXPECT_EQ(GlobalBytes(source.get()), Pattern(16));
}

TEST(VtlsCopyHGlobal, YieldsNullForEmptyOrFreedHandles) {
    UniqueGlobal empty(GlobalAlloc(GMEM_MOVEABLE, 0));
    ASSERT_TRUE(empty);
    ASSERT_EQ(GlobalSize(empty.get()), 0u);
    EXPECT_EQ(VtlsCopyHGlobal(empty.get()), nullptr);

    // Moveable handles are checked by the system even after they are freed.
    const HGLOBAL freed = GlobalAlloc(GMEM_MOVEABLE, 32);
    ASSERT_NE(freed, nullptr);
    ASSERT_EQ(GlobalFree(freed), nullptr);
    EXPECT_EQ(VtlsCopyHGlobal(freed), nullptr);

    EXPECT_EQ(VtlsCopyHGlobal(nullptr), nullptr);
}

// A stream on global memory holding bytes, standing at position.
ComPtr<IStream> StreamWith(const std::string& bytes, ULONGLONG position) {
    ComPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    if (stream) {
        EXPECT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr), S_OK);
        LARGE_INTEGER offset{};
        offset.QuadPart = static_cast<LONGLONG>(position);
        EXPECT_EQ(stream->Seek(offset, STREAM_SEEK_SET, nullptr), S_OK);
    }
    return stream;
}

ULONGLONG Position(IStream* stream) {
    ULARGE_INTEGER position{};
    EXPECT_EQ(stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position), S_OK);
    return position.QuadPart;
}

ULONGLONG Size(IStream* stream) {
    STATSTG stat{};
    EXPECT_EQ(stream->Stat(&stat, STATFLAG_NONAME), S_OK);
    return stat.cbSize.QuadPart;
}

// All bytes of the stream, read from where it stands.
std::string ReadRest(IStream* stream) {
    std::string bytes;
    char chunk[256];
    ULONG read = 0;
    while (stream->Read(chunk, sizeof(chunk), &read) == S_OK && read > 0) {
        bytes.append(chunk, read);
    }
    return bytes;
}

// References an object holds now: one taken and given back.
ULONG References(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST(VtlsCopyStream, CopiesTheWholeSourceWhereverItStands) {
    const std::string content = "The whole stream, from its first byte to its last.";
    struct Case {
        const char* name;
        std::string bytes;
        ULONGLONG position;
    };
    const Case cases[] = {
        {"at its start", content, 0},
        {"in its middle", content, content.size() / 2},
        {"at its end", content, content.size()},
        {"empty", "", 0},
        {"larger than one chunk of a copy", std::string(70000, 'x') + content, 12345},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ComPtr<IStream> source = StreamWith(c.bytes, c.position);
        ASSERT_TRUE(source);
        const ULONG sourceReferences = References(source.get());

        ComPtr<IStream> copy;
        ASSERT_EQ(VtlsCopyStream(source.get(), copy.put()), S_OK);

        ASSERT_TRUE(copy);
        EXPECT_NE(copy.get(), source.get());
        EXPECT_EQ(References(copy.get()), 1u);
        EXPECT_EQ(References(source.get()), sourceReferences);
        EXPECT_EQ(Position(copy.get()), 0u);
        EXPECT_EQ(Position(source.get()), c.bytes.size());
        EXPECT_EQ(Size(copy.get()), c.bytes.size());
        EXPECT_EQ(ReadRest(copy.get()), c.bytes);
    }
}

TEST(VtlsCopyStream, CopyIsIndependentOfTheSource) {
    const ComPtr<IStream> source = StreamWith("original", 0);
    ComPtr<IStream> copy;
    ASSERT_EQ(VtlsCopyStream(source.get(), copy.put()), S_OK);
    ASSERT_EQ(copy->Write("changed!", 8, nullptr), S_OK);
    ASSERT_EQ(source->Seek(LARGE_INTEGER{}, STREAM_SEEK_SET, nullptr), S_OK);
    EXPECT_EQ(ReadRest(source.get()), "original");
}

// A source whose Stat, Seek and CopyTo answer as told. It records the calls,
// counts references and keeps a reference to the stream CopyTo was given.
class FakeSource final : public IStream {
public:
    HRESULT statResult = S_OK;
    ULONGLONG size = 0;
    HRESULT seekResult = S_OK;
    HRESULT copyResult = S_OK;
    std::string written;  // what a successful CopyTo writes to its target

    std::string calls;
    ULONGLONG copyCount = 0;
    ComPtr<IStream> target;
    LONG references = 1;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *object = static_cast<IStream*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++references); }
    ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--references); }

    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
        calls += "Stat(" + std::to_string(flags) + ") ";
        if (SUCCEEDED(statResult)) {
            *stat = STATSTG{};
            stat->type = STGTY_STREAM;
            stat->cbSize.QuadPart = size;
        }
        return statResult;
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER offset, DWORD origin, ULARGE_INTEGER* position) override {
        calls += "Seek(" + std::to_string(offset.QuadPart) + "," + std::to_string(origin) + ") ";
        if (position != nullptr) {
            position->QuadPart = 0;
        }
        return seekResult;
    }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER count, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* wrote) override {
        calls += "CopyTo ";
        copyCount = count.QuadPart;
        to->AddRef();
        *target.put() = to;
        if (FAILED(copyResult)) {
            return copyResult;
        }
        ULONG done = 0;
        to->Write(written.data(), static_cast<ULONG>(written.size()), &done);
        if (read != nullptr) {
            read->QuadPart = done;
        }
        if (wrote != nullptr) {
            wrote->QuadPart = done;
        }
        return copyResult;
    }

    HRESULT STDMETHODCALLTYPE Read(void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Revert() override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Clone(IStream**) override { return E_NOTIMPL; }
};

TEST(VtlsCopyStream, FollowsTheSourcesAnswers) {
    constexpr ULONGLONG kBeyond4GiB = 0x100000005ull;
    struct Case {
        const char* name;
        HRESULT statResult;
        HRESULT seekResult;
        HRESULT copyResult;
        ULONGLONG size;
        HRESULT expected;
        const char* calls;
    };
    const Case cases[] = {
        {"Stat fails", STG_E_ACCESSDENIED, S_OK, S_OK, 5, STG_E_ACCESSDENIED, "Stat(1) "},
        {"CopyTo fails", S_OK, S_OK, STG_E_READFAULT, 5, STG_E_READFAULT, "Stat(1) Seek(0,0) CopyTo "},
        {"CopyTo fails on a size beyond 32 bits", S_OK, S_OK, E_OUTOFMEMORY, kBeyond4GiB, E_OUTOFMEMORY,
         "Stat(1) Seek(0,0) CopyTo "},
        {"Seek fails, which is not examined", S_OK, E_FAIL, S_OK, 5, S_OK, "Stat(1) Seek(0,0) CopyTo "},
        {"all succeed", S_OK, S_OK, S_OK, 5, S_OK, "Stat(1) Seek(0,0) CopyTo "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeSource source;
        source.statResult = c.statResult;
        source.seekResult = c.seekResult;
        source.copyResult = c.copyResult;
        source.size = c.size;
        source.written = "bytes";

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
        ASSERT_NE(copy, nullptr);
        const ComPtr<IStream> owned = ComPtr<IStream>::Attach(copy);
        EXPECT_EQ(owned.get(), source.target.get());
        EXPECT_EQ(References(owned.get()), 2u) << "the copy's own and the fake's";
        EXPECT_EQ(Position(owned.get()), 0u);
        EXPECT_EQ(ReadRest(owned.get()), "bytes");
    }
}

TEST(VtlsCopyStream, RefusesNullArguments) {
    IStream* copy = reinterpret_cast<IStream*>(static_cast<uintptr_t>(1));
    EXPECT_EQ(VtlsCopyStream(nullptr, &copy), E_INVALIDARG);
    EXPECT_EQ(copy, nullptr);
    const ComPtr<IStream> source = StreamWith("x", 0);
    EXPECT_EQ(VtlsCopyStream(source.get(), nullptr), E_INVALIDARG);
}

}  // namespace
