// Streams kept in registry values, through the DLL's exports, in a throw-away key.
#include <gtest/gtest.h>

#include <objbase.h>

#include <vector>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "support/process_resources.h"
#include "support/registry_scratch.h"

namespace {

using vtls::ComPtr;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80030002u);
constexpr wchar_t kValue[] = L"Stream";
const auto kUntouched = reinterpret_cast<IStream*>(1);

std::vector<BYTE> Pattern(size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(i * 7 + 3);
    return bytes;
}

// A memory stream holding bytes, standing at position.
ComPtr<IStream> MemoryStream(const std::vector<BYTE>& bytes, LONGLONG position = 0) {
    ComPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    stream->Write(bytes.data(), static_cast<ULONG>(bytes.size()), nullptr);
    LARGE_INTEGER at;
    at.QuadPart = position;
    stream->Seek(at, STREAM_SEEK_SET, nullptr);
    return stream;
}

ULONGLONG Position(IStream* stream) {
    ULARGE_INTEGER position = {};
    stream->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

std::vector<BYTE> Remaining(IStream* stream) {
    std::vector<BYTE> bytes(1 << 20);
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    bytes.resize(read);
    return bytes;
}

// Wraps a memory stream and misreports what a save relies on.
class FaultyStream : public IStream {
public:
    enum class Fault { kNone, kShortRead, kHugeSize, kStatFails };
    FaultyStream(const std::vector<BYTE>& bytes, Fault fault) : inner_(MemoryStream(bytes)), fault_(fault) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        *out = iid == IID_IUnknown || iid == IID_ISequentialStream || iid == IID_IStream ? this : nullptr;
        return *out != nullptr ? S_OK : E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }  // lives on the test's stack
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP Read(void* data, ULONG size, ULONG* read) override {
        return inner_->Read(data, fault_ == Fault::kShortRead && size > 0 ? size - 1 : size, read);
    }
    STDMETHODIMP Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* position) override {
        return inner_->Seek(move, origin, position);
    }
    STDMETHODIMP Stat(STATSTG* stat, DWORD flags) override {
        if (fault_ == Fault::kStatFails) return STG_E_ACCESSDENIED;
        const HRESULT hr = inner_->Stat(stat, flags);
        if (fault_ == Fault::kHugeSize) stat->cbSize.QuadPart += 1ull << 32;
        return hr;
    }
    STDMETHODIMP Write(const void*, ULONG, ULONG*) override { return E_NOTIMPL; }
    STDMETHODIMP SetSize(ULARGE_INTEGER) override { return E_NOTIMPL; }
    STDMETHODIMP CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override { return E_NOTIMPL; }
    STDMETHODIMP Commit(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Revert() override { return E_NOTIMPL; }
    STDMETHODIMP LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP Clone(IStream**) override { return E_NOTIMPL; }

private:
    ComPtr<IStream> inner_;
    Fault fault_;
};

class RegStreams : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(scratch_.get(), nullptr); }
    std::vector<BYTE> Stored(DWORD* type = nullptr) const {
        std::vector<BYTE> bytes(65536);
        DWORD size = static_cast<DWORD>(bytes.size());
        if (RegQueryValueExW(scratch_.get(), kValue, nullptr, type, bytes.data(), &size) != ERROR_SUCCESS) return {};
        bytes.resize(size);
        return bytes;
    }
    void Store(DWORD type, const std::vector<BYTE>& bytes) const {
        ASSERT_EQ(scratch_.Set(nullptr, kValue, type, bytes.data(), bytes.size()), ERROR_SUCCESS);
    }
    // What opening the value gives: its bytes, or the result in place of them.
    HRESULT Open(const wchar_t* name, std::vector<BYTE>* bytes = nullptr) const {
        IStream* opened = kUntouched;
        const HRESULT result = VtlsRegOpenStream(scratch_.get(), name, &opened);
        if (FAILED(result)) return opened == nullptr ? result : E_UNEXPECTED;
        EXPECT_EQ(Position(opened), 0u);
        if (bytes != nullptr) *bytes = Remaining(opened);
        EXPECT_EQ(opened->Release(), 0u);
        return result;
    }
    vtls::test::ScratchKey scratch_;
};

TEST_F(RegStreams, SaveKeepsTheWholeStreamAndOpenGivesItBackUpToTheReadLimit) {
    for (const wchar_t* name : {kValue, static_cast<const wchar_t*>(nullptr)}) {
        const ComPtr<IStream> source = MemoryStream(Pattern(5000), 1234);  // mid-stream: saved from byte 0
        ASSERT_EQ(VtlsRegSaveStream(scratch_.get(), name, source.get()), S_OK);
        EXPECT_EQ(Position(source.get()), 5000u);
        std::vector<BYTE> bytes;
        ASSERT_EQ(Open(name, &bytes), S_OK);
        EXPECT_EQ(bytes, Pattern(5000));
    }
    DWORD type = REG_NONE;
    EXPECT_EQ(Stored(&type), Pattern(5000));
    EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
    // A binary value of no bytes written by someone else opens as an empty stream.
    Store(REG_BINARY, {});
    std::vector<BYTE> bytes = Pattern(1);
    EXPECT_EQ(Open(kValue, &bytes), S_OK);
    EXPECT_TRUE(bytes.empty());
    // An empty stream deletes the value.
    const ComPtr<IStream> empty = MemoryStream({});
    EXPECT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, empty.get()), S_OK);
    EXPECT_EQ(Open(kValue), kNotFound);
    // A stream above the read limit can be saved but not opened again.
    Store(REG_BINARY, Pattern(32768));
    EXPECT_EQ(Open(kValue, &bytes), S_OK);
    EXPECT_EQ(bytes, Pattern(32768));
    ASSERT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, MemoryStream(Pattern(32769)).get()), S_OK);
    EXPECT_EQ(Stored().size(), 32769u);
    EXPECT_EQ(Open(kValue), E_FAIL);
    Store(REG_SZ, vtls::test::TextBytes(L"not a stream"));
    EXPECT_EQ(Open(kValue), kNotFound);
}

TEST_F(RegStreams, FailedSaveLeavesTheValueAsItWas) {
    Store(REG_BINARY, Pattern(16));
    using Fault = FaultyStream::Fault;
    const std::pair<Fault, HRESULT> cases[] = {
        {Fault::kShortRead, E_FAIL}, {Fault::kHugeSize, E_OUTOFMEMORY}, {Fault::kStatFails, STG_E_ACCESSDENIED}};
    for (const auto& [fault, expected] : cases) {
        FaultyStream stream(Pattern(100), fault);
        EXPECT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, &stream), expected) << static_cast<int>(fault);
        EXPECT_EQ(Stored(), Pattern(16));
    }
    FaultyStream healthy(Pattern(100), Fault::kNone);
    EXPECT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, &healthy), S_OK);
    EXPECT_EQ(Stored(), Pattern(100));
}

TEST_F(RegStreams, RepeatedOpenAndSaveKeepMemoryFlat) {
    const ComPtr<IStream> source = MemoryStream(Pattern(16384));
    const auto cycle = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) {
            ASSERT_EQ(VtlsRegSaveStream(scratch_.get(), kValue, source.get()), S_OK);
            ASSERT_EQ(Open(kValue), S_OK);
        }
    };
    cycle(200);  // warm the heaps
    const auto before = vtls::test::MeasureProcess();
    cycle(3000);
    const auto after = vtls::test::MeasureProcess();
    // 3,000 lost 16 KiB blocks would be 48 MiB.
    EXPECT_LT(after.pagefileBytes, before.pagefileBytes + 1024 * 1024);
    // Wine opens about eight handles of its own once during such a run, on a
    // thread of its own; a handle lost per round would add thousands.
    EXPECT_LE(after.handles, before.handles + 16);
}

}  // namespace
