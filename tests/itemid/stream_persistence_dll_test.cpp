// ILStgWrite and ILStgRead on real platform streams.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "base/com_ptr.h"
#include "list_bytes.h"

namespace {

using vtls::test::Bytes;
using vtls::test::List;

vtls::ComPtr<IStream> MemoryStream(const Bytes& contents = {}) {
    vtls::ComPtr<IStream> stream;
    EXPECT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, stream.put()), S_OK);
    if (!contents.empty()) {
        ULONG written = 0;
        stream->Write(contents.data(), static_cast<ULONG>(contents.size()), &written);
        stream->Seek({}, STREAM_SEEK_SET, nullptr);
    }
    return stream;
}

ULONGLONG Position(IStream* stream) {
    ULARGE_INTEGER position{};
    stream->Seek({}, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

Bytes StreamBytes(IStream* stream) {
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    Bytes bytes(static_cast<std::size_t>(stat.cbSize.QuadPart));
    stream->Seek({}, STREAM_SEEK_SET, nullptr);
    ULONG read = 0;
    stream->Read(bytes.data(), static_cast<ULONG>(bytes.size()), &read);
    return bytes;
}

TEST(StreamPersistence, WritesAndReadsBackTheFirstItem) {
    const Bytes second = vtls::test::EncodePlaceholder(1, 7);
    const Bytes list = List({vtls::test::EncodeReal(5, u"Template"), second});
    auto stream = MemoryStream();
    ASSERT_EQ(ILStgWrite(stream.get(), reinterpret_cast<LPCITEMIDLIST>(list.data())), S_OK);
    EXPECT_EQ(Position(stream.get()), 4u + 58u + 42u);
    const Bytes record = StreamBytes(stream.get());
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 6), (Bytes{0x76, 0x38, 0x47, 0x45, 0x3A, 0x00}));

    stream->Seek({}, STREAM_SEEK_SET, nullptr);
    LPITEMIDLIST read = nullptr;
    ASSERT_EQ(ILStgRead(stream.get(), &read), S_OK);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(read);
    EXPECT_EQ(Bytes(bytes, bytes + 60), List({vtls::test::EncodeReal(5, u"Template")}));
    EXPECT_EQ(Position(stream.get()), 62u);
    VtlsSHFree(read);
}

TEST(StreamPersistence, ReadFailuresLeaveNoList) {
    struct Case {
        const char* what;
        Bytes contents;
        HRESULT expected;
    };
    const Case cases[] = {
        {"three bytes", {0x76, 0x38, 0x47}, STG_E_READFAULT},
        {"other marker", {1, 2, 3, 4, 10, 0}, E_FAIL},
        {"marker alone", {0x76, 0x38, 0x47, 0x45}, E_FAIL},
        {"item size 1", {0x76, 0x38, 0x47, 0x45, 1, 0}, E_FAIL},
        {"item cut short", {0x76, 0x38, 0x47, 0x45, 10, 0, 1, 2}, STG_E_READFAULT},
    };
    for (const Case& c : cases) {
        auto stream = MemoryStream(c.contents);
        LPITEMIDLIST list = reinterpret_cast<LPITEMIDLIST>(1);
        EXPECT_EQ(ILStgRead(stream.get(), &list), c.expected) << c.what;
        EXPECT_EQ(list, nullptr) << c.what;
    }
}

TEST(StreamPersistence, EmptyListIsTheMarkerAlone) {
    auto stream = MemoryStream();
    const Bytes empty = List({});
    ASSERT_EQ(ILStgWrite(stream.get(), reinterpret_cast<LPCITEMIDLIST>(empty.data())), S_OK);
    ASSERT_EQ(ILStgWrite(stream.get(), nullptr), S_OK);
    EXPECT_EQ(StreamBytes(stream.get()), (Bytes{0x76, 0x38, 0x47, 0x45, 0x76, 0x38, 0x47, 0x45}));
}

TEST(StreamPersistence, NullArgumentsAreRefused) {
    auto stream = MemoryStream();
    LPITEMIDLIST list = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(ILStgRead(nullptr, &list), E_INVALIDARG);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(ILStgRead(stream.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(ILStgWrite(nullptr, nullptr), E_INVALIDARG);
}

}  // namespace
