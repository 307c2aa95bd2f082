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

TEST(VtlsCopyHGlobal, CopiesEveryByteIntoNewFixedMemoryLeavingTheSourceAsItWas) {
    const struct {
        UINT flags;
        size_t size;
        UINT callerLocks;  // locks the caller holds during the copy
    } cases[] = {{GMEM_MOVEABLE, 1, 0}, {GMEM_MOVEABLE, 64, 1}, {GMEM_FIXED, 100000, 0}};
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
        EXPECT_EQ(std::string(static_cast<const char*>(copy.get()), GlobalSize(copy.get())), bytes);
        EXPECT_EQ(GlobalFlags(source.get()) & GMEM_LOCKCOUNT, c.callerLocks) << "source left locked";
        for (UINT i = 0; i < c.callerLocks; ++i) GlobalUnlock(source.get());
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

TEST(VtlsCopyStream, CopiesTheWholeSourceWhereverItStandsIntoANewStream) {
    const std::string content = "The whole stream, from its first byte to its last.";
    const std::pair<std::string, size_t> cases[] = {{content, 20}, {"", 0}, {std::string(70000, 'x') + content, 12345}};
    for (const auto& [bytes, position] : cases) {
        const ComPtr<IStream> source = StreamWith(bytes, static_cast<LONGLONG>(position));
        ComPtr<IStream> copy;
        ASSERT_EQ(VtlsCopyStream(source.get(), copy.put()), S_OK);
        EXPECT_NE(copy.get(), source.get());
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

}  // namespace
