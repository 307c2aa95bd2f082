// Streams kept in registry values, through the DLL's exports, in a throw-away key.
#include <gtest/gtest.h>

#include <objbase.h>

#include <vector>

#include "VantrelSh.h"
#include "scratch_key.h"
#include "support/process_resources.h"

namespace {

using vtls::test::ScratchKey;

constexpr HRESULT kStgFileNotFound = static_cast<HRESULT>(0x80030002u);
constexpr wchar_t kValue[] = L"Stream";

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) {
        bytes[i] = static_cast<BYTE>(i * 7 + 3);
    }
    return bytes;
}

// A memory stream holding bytes, positioned at position.
IStream* MemoryStream(const std::vector<BYTE>& bytes, ULONGLONG position = 0) {
    IStream* stream = nullptr;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ULONG written = 0;
    EXPECT_EQ(stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), &written), S_OK);
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(position);
    EXPECT_EQ(stream->Seek(at, STREAM_SEEK_SET, nullptr), S_OK);
    return stream;
}

ULONGLONG Position(IStream* stream) {
    ULARGE_INTEGER position = {};
    const LARGE_INTEGER none = {};
    EXPECT_EQ(stream->Seek(none, STREAM_SEEK_CUR, &position), S_OK);
    return position.QuadPart;
}

std::vector<BYTE> Remaining(IStream* stream) {
    std::vector<BYTE> bytes;
    BYTE chunk[4096];
    ULONG read = 0;
    while (SUCCEEDED(stream->Read(chunk, sizeof chunk, &read)) && read != 0) {
        bytes.insert(bytes.end(), chunk, chunk + read);
    }
    return bytes;
}

std::vector<BYTE> StoredBytes(HKEY key, DWORD* type = nullptr) {
    DWORD size = 0;
    if (RegQueryValueExW(key, kValue, nullptr, type, nullptr, &size) != ERROR_SUCCESS) {
        return {};
    }
    std::vector<BYTE> bytes(size);
    RegQueryValueExW(key, kValue, nullptr, type, bytes.data(), &size);
    return bytes;
}

void Store(HKEY key, DWORD type, const std::vector<BYTE>& bytes) {
    ASSERT_EQ(RegSetValueExW(key, kValue, 0, type, bytes.data(), static_cast<DWORD>(bytes.size())), ERROR_SUCCESS);
}

// Wraps a memory stream and misreports what a save relies on.
class FaultyStream : public IStream {
public:
    enum class Fault { kNone, kShortRead, kHugeSize, kStatFails, kReadFails, kSeekFails };

    FaultyStream(const std::vector<BYTE>& bytes, Fault fault) : inner_(MemoryStream(bytes)), fault_(fault) {}
    ~FaultyStream() { inner_->Release(); }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream) {
            *out = this;
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
    ULONG STDMETHODCALLTYPE Release() override { return --refs_; }  // lives on the test's stack

    HRESULT STDMETHODCALLTYPE Read(void* data, ULONG size, ULONG* read) override {
        if (fault_ == Fault::kReadFails) {
            return STG_E_READFAULT;
        }
        return inner_->Read(data, fault_ == Fault::kShortRead && size > 0 ? size - 1 : size, read);
    }
    HRESULT STDMETHODCALLTYPE Write(const void* data, ULONG size, ULONG* written) override {
        return inner_->Write(data, size, written);
    }
    HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        return fault_ == Fault::kSeekFails ? STG_E_INVALIDFUNCTION : inner_->Seek(move, origin, position);
    }
    HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER size) override { return inner_->SetSize(size); }
    HRESULT STDMETHODCALLTYPE CopyTo(IStream* to, ULARGE_INTEGER size, ULARGE_INTEGER* read,
                                     ULARGE_INTEGER* written) override {
        return inner_->CopyTo(to, size, read, written);
    }
    HRESULT STDMETHODCALLTYPE Commit(DWORD flags) override { return inner_->Commit(flags); }
    HRESULT STDMETHODCALLTYPE Revert() override { return inner_->Revert(); }
    HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override {
        return inner_->LockRegion(offset, size, type);
    }
    HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER offset, ULARGE_INTEGER size, DWORD type) override {
        return inner_->UnlockRegion(offset, size, type);
    }
    HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD flags) override {
        if (fault_ == Fault::kStatFails) {
            return STG_E_ACCESSDENIED;
        }
        const HRESULT hr = inner_->Stat(stat, flags);
        if (fault_ == Fault::kHugeSize) {
            stat->cbSize.QuadPart += 1ull << 32;
        }
        return hr;
    }
    HRESULT STDMETHODCALLTYPE Clone(IStream** clone) override { return inner_->Clone(clone); }

private:
    IStream* inner_;
    Fault fault_;
    ULONG refs_ = 1;
};

class RegStreams : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(scratch_.get(), nullptr); }
    ScratchKey scratch_;
};

TEST_F(RegStreams, SaveKeepsTheWholeStreamAndOpenGivesItBackAtTheStart) {
    const std::vector<BYTE> bytes = Pattern(5000);
    IStream* source = MemoryStream(bytes, 1234);  // mid-stream: the save still starts at byte 0
    ASSERT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, source), S_OK);
    EXPECT_EQ(Position(source), bytes.size());
    source->Release();

    DWORD type = REG_NONE;
    EXPECT_EQ(StoredBytes(scratch_.get(), &type), bytes);
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));

    IStream* opened = nullptr;
    ASSERT_EQ(VtlsRegOpenStream(scratch_.get(), kValue, &opened), S_OK);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(Position(opened), 0u);
    STATSTG stat = {};
    ASSERT_EQ(opened->Stat(&stat, STATFLAG_NONAME), S_OK);
    EXPECT_EQ(stat.cbSize.QuadPart, bytes.size());
    EXPECT_EQ(Remaining(opened), bytes);
    EXPECT_EQ(opened->Release(), 0u);
}

TEST_F(RegStreams, DefaultValueAndZeroLengthBinaryValue) {
    IStream* source = MemoryStream(Pattern(10));
    ASSERT_EQ(VtlsRegSaveStream(scratch_.get(), nullptr, source), S_OK);
    source->Release();
    IStream* opened = nullptr;
    ASSERT_EQ(VtlsRegOpenStream(scratch_.get(), nullptr, &opened), S_OK);
    EXPECT_EQ(Remaining(opened), Pattern(10));
    opened->Release();

    // A binary value of no bytes written by someone else opens as an empty stream.
    Store(scratch_.get(), REG_BINARY, {});
    opened = nullptr;
    ASSERT_EQ(VtlsRegOpenStream(scratch_.get(), kValue, &opened), S_OK);
    EXPECT_TRUE(Remaining(opened).empty());
    opened->Release();
}

TEST_F(RegStreams, EmptyStreamDeletesTheValue) {
    Store(scratch_.get(), REG_BINARY, Pattern(8));
    IStream* empty = MemoryStream({});
    EXPECT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, empty), S_OK);
    EXPECT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, empty), S_OK);  // nothing to delete is fine
    empty->Release();
    EXPECT_EQ(RegQueryValueExW(scratch_.get(), kValue, nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);

    IStream* opened = reinterpret_cast<IStream*>(1);
    EXPECT_EQ(VtlsRegOpenStream(scratch_.get(), kValue, &opened), kStgFileNotFound);
    EXPECT_EQ(opened, nullptr);
}

TEST_F(RegStreams, OpenRefusesValuesAboveTheReadLimitAndOfOtherTypes) {
    Store(scratch_.get(), REG_BINARY, Pattern(32768));
    IStream* opened = nullptr;
    ASSERT_EQ(VtlsRegOpenStream(scratch_.get(), kValue, &opened), S_OK);
    EXPECT_EQ(Remaining(opened), Pattern(32768));
    opened->Release();

    // A larger stream can be saved but not opened again.
    IStream* large = MemoryStream(Pattern(32769));
    ASSERT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, large), S_OK);
    large->Release();
    EXPECT_EQ(StoredBytes(scratch_.get()).size(), 32769u);
    opened = reinterpret_cast<IStream*>(1);
    EXPECT_EQ(VtlsRegOpenStream(scratch_.get(), kValue, &opened), E_FAIL);
    EXPECT_EQ(opened, nullptr);

    const wchar_t text[] = L"not a stream";
    Store(scratch_.get(), REG_SZ, std::vector<BYTE>(reinterpret_cast<const BYTE*>(text),
                                                    reinterpret_cast<const BYTE*>(text) + sizeof text));
    opened = reinterpret_cast<IStream*>(1);
    EXPECT_EQ(VtlsRegOpenStream(scratch_.get(), kValue, &opened), kStgFileNotFound);
    EXPECT_EQ(opened, nullptr);
}

TEST_F(RegStreams, FailedSaveLeavesTheValueAsItWas) {
    const std::vector<BYTE> before = Pattern(16);
    Store(scratch_.get(), REG_BINARY, before);
    const struct {
        FaultyStream::Fault fault;
        HRESULT expected;
    } cases[] = {
        {FaultyStream::Fault::kShortRead, E_FAIL},
        {FaultyStream::Fault::kHugeSize, E_OUTOFMEMORY},
        {FaultyStream::Fault::kStatFails, STG_E_ACCESSDENIED},
        {FaultyStream::Fault::kReadFails, STG_E_READFAULT},
        {FaultyStream::Fault::kSeekFails, STG_E_INVALIDFUNCTION},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.fault));
        FaultyStream stream(Pattern(100), c.fault);
        EXPECT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, &stream), c.expected);
        EXPECT_EQ(StoredBytes(scratch_.get()), before);
    }
    FaultyStream healthy(Pattern(100), FaultyStream::Fault::kNone);
    EXPECT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, &healthy), S_OK);
    EXPECT_EQ(StoredBytes(scratch_.get()), Pattern(100));
}

TEST_F(RegStreams, RegistryErrorsComeThroughTheKeyResults) {
    IStream* opened = nullptr;
    EXPECT_EQ(VtlsRegOpenStream(scratch_.get(), L"missing", &opened), kStgFileNotFound);
    EXPECT_EQ(opened, nullptr);

    HKEY readOnly = nullptr;
    ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, scratch_.path().c_str(), 0, KEY_QUERY_VALUE, &readOnly),
              ERROR_SUCCESS);
    IStream* source = MemoryStream(Pattern(4));
    EXPECT_EQ(VtlsRegSaveStream(readOnly, kValue, source), STG_E_ACCESSDENIED);
    source->Release();
    RegCloseKey(readOnly);
}

TEST_F(RegStreams, RepeatedOpenAndSaveKeepMemoryFlat) {
    IStream* source = MemoryStream(Pattern(16384));
    auto cycle = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            ASSERT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, source), S_OK);
            IStream* opened = nullptr;
            ASSERT_EQ(VtlsRegOpenStream(scratch_.get(), kValue, &opened), S_OK);
            ASSERT_EQ(opened->Release(), 0u);
        }
    };
    cycle(200);  // warm the heaps
    const auto before = vtls::test::MeasureProcess();
    cycle(3000);
    const auto after = vtls::test::MeasureProcess();
    source->Release();
    // 3,000 lost 16 KiB blocks would be 48 MiB.
    EXPECT_LT(after.pagefileBytes, before.pagefileBytes + 1024 * 1024);
    // Wine opens about eight handles of its own once during such a run, on a
    // thread of its own; a handle lost per round would add thousands.
    EXPECT_LE(after.handles, before.handles + 16);
}

}  // namespace
