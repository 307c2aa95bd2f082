// ILStgWrite and ILStgRead on real platform streams; the record's rules are the
// portable tests'.
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
    ULONG written = 0;
    stream->Write(contents.data(), static_cast<ULONG>(contents.size()), &written);
    stream->Seek({}, STREAM_SEEK_SET, nullptr);
    return stream;
}

ULONGLONG Position(IStream* stream) {
    ULARGE_INTEGER position{};
    stream->Seek({}, STREAM_SEEK_CUR, &position);
    return position.QuadPart;
}

TEST(StreamPersistence, WritesTheListAndReadsBackItsFirstItem) {
    const Bytes list = List({vtls::test::EncodeReal(5, u"Template"), vtls::test::EncodePlaceholder(1, 7)});
    auto stream = MemoryStream();
    ASSERT_EQ(ILStgWrite(stream.get(), reinterpret_cast<LPCITEMIDLIST>(list.data())), S_OK);
    EXPECT_EQ(Position(stream.get()), 4u + 58u + 42u);
    stream->Seek({}, STREAM_SEEK_SET, nullptr);
    LPITEMIDLIST read = nullptr;
    ASSERT_EQ(ILStgRead(stream.get(), &read), S_OK);
    EXPECT_EQ(vtls::test::ListBytes(read), List({vtls::test::EncodeReal(5, u"Template")}));
    EXPECT_EQ(Position(stream.get()), 62u);
    VtlsSHFree(read);
    // A platform stream that ends inside the item answers S_OK with fewer bytes.
    read = reinterpret_cast<LPITEMIDLIST>(1);
    EXPECT_EQ(ILStgRead(MemoryStream({0x76, 0x38, 0x47, 0x45, 10, 0, 1, 2}).get(), &read), STG_E_READFAULT);
    EXPECT_EQ(read, nullptr);
    EXPECT_EQ(ILStgRead(nullptr, &read), E_INVALIDARG);
    EXPECT_EQ(ILStgRead(stream.get(), nullptr), E_INVALIDARG);
    EXPECT_EQ(ILStgWrite(nullptr, nullptr), E_INVALIDARG);
}

}  // namespace
