// Icons rebuilt from metafile pictures drawn with GDI: a mask record, then a
// colour record. The record rules in detail are in
// portable/metafile_dib_record_test.cpp; leaks in icon_calls_census_dll_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "VantrelSh.h"
#include "icons/metafile_picture.h"

namespace {

using namespace vtls::test;
using vtls::UniqueIcon;

// A colour image whose pixels all differ; black where the mask (left quarter) is clear.
std::uint32_t Gradient(int x, int y) { return 0x00400000u | static_cast<std::uint32_t>(x * 4) << 8 | (y * 4u); }

const auto kOpaque = [](int, int) -> std::uint32_t { return 0; };
auto Fill(std::uint32_t colour) {
    return [colour](int, int) { return colour; };
}

HICON Extract(PictureRecorder& recorder) {
    const OwnedPicture picture(recorder.Finish());
    return SHMetafilePictExtractIcon(picture.get());
}

TEST(MetafilePictExtractIcon, StretchRecordsGiveAnIconOfTheSourceSize) {
    const SourceBitmap mask(48, 24, true, [](int x, int) { return x < 12 ? 1u : 0u; });
    const SourceBitmap colour(48, 24, false, [](int x, int y) { return x < 12 ? 0u : Gradient(x, y); });
    PictureRecorder recorder;
    const UniqueIcon icon(Extract(recorder.Draw(mask, SRCAND).Draw(colour, SRCINVERT)));
    const auto shape = ShapeOf(icon.get());
    EXPECT_TRUE(shape.valid && !shape.monochrome && shape.width == 48 && shape.height == 24);
    // The rows land where they were drawn and the first record's mask clears the left quarter.
    EXPECT_EQ(ColourAt(icon.get(), 47, 0), Gradient(47, 0));
    EXPECT_EQ(ColourAt(icon.get(), 24, 23), Gradient(24, 23));
    EXPECT_EQ(ColourAt(icon.get(), 0, 12), 0x808080u);
    // A monochrome second bitmap gives a monochrome icon.
    const SourceBitmap image(24, 16, true, [](int x, int) { return x % 2u; });
    PictureRecorder monochrome;
    const UniqueIcon mono(Extract(monochrome.Draw(mask, SRCAND).Draw(image, SRCINVERT)));
    const auto monoShape = ShapeOf(mono.get());
    EXPECT_TRUE(monoShape.valid && monoShape.monochrome && monoShape.width == 24 && monoShape.height == 16);
}

TEST(MetafilePictExtractIcon, OtherRecordsArePassedOverAndNothingAfterTheSecondBitmapCounts) {
    const SourceBitmap mask(32, 32, true, kOpaque);
    const SourceBitmap colour(32, 32, false, Fill(0x00123456));
    const SourceBitmap later(32, 32, false, Fill(0x00ABCDEF));
    PictureRecorder recorder;
    recorder.DrawOther().Draw(mask, SRCAND).DrawOther();
    recorder.Draw(colour, SRCINVERT, 20, 12).Draw(later, SRCINVERT).DrawOther();
    const UniqueIcon icon(Extract(recorder));
    const auto shape = ShapeOf(icon.get());
    EXPECT_TRUE(shape.width == 20 && shape.height == 12);
    EXPECT_EQ(ColourAt(icon.get(), 10, 6), 0x123456u);
}

// The second record edited by hand (bitmaps of 16 x 16): the size read against
// both bitmaps, the record against what is left of the metafile.
TEST(MetafilePictExtractIcon, RecordsThatDoNotFitAreRefused) {
    const SourceBitmap mask(16, 16, true, kOpaque), colour(16, 16, false, Fill(0x00654321));
    PictureRecorder recorder;
    const HMETAFILE drawn = recorder.Draw(mask, SRCAND).Draw(colour, SRCINVERT).FinishMetafile();
    std::vector<std::uint8_t> original(GetMetaFileBitsEx(drawn, 0, nullptr));
    GetMetaFileBitsEx(drawn, static_cast<UINT>(original.size()), original.data());
    DeleteMetaFile(drawn);
    // The header, the two bitmap records (each its size in words, then its
    // function number), the end record.
    std::uint32_t firstWords = 0;
    std::memcpy(&firstWords, original.data() + sizeof(METAHEADER), 4);
    const std::size_t second = sizeof(METAHEADER) + std::size_t{firstWords} * 2;
    ASSERT_LT(second + 6, original.size());
    const auto function = [&original](std::size_t at) { return original[at + 4] | original[at + 5] << 8; };
    ASSERT_TRUE(function(sizeof(METAHEADER)) == 0x0B41 && function(second) == 0x0B41);
    const auto pastTheEnd = static_cast<std::uint32_t>((original.size() - second) / 2 + 8);
    const struct {
        std::size_t at;  // from the record's start: 10 height, 12 width, 0 record size
        std::uint32_t value;
        int height;  // of the icon made, 0: none
    } cases[] = {{10, 16, 16}, {10, 1, 1}, {10, 17, 0}, {12, 17, 0}, {10, 0, 0}, {12, 0, 0}, {0, pastTheEnd, 0}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = original;
        std::memcpy(bytes.data() + second + c.at, &c.value, c.at == 0 ? 4 : 2);
        const OwnedPicture picture(WrapPicture(SetMetaFileBitsEx(static_cast<UINT>(bytes.size()), bytes.data())));
        const UniqueIcon icon(SHMetafilePictExtractIcon(picture.get()));
        EXPECT_EQ(ShapeOf(icon.get()).height, c.height) << c.at << " = " << c.value;
    }
    // A mask smaller than the icon: its rows would run out.
    const SourceBitmap smallMask(8, 8, true, kOpaque);
    PictureRecorder smaller;
    EXPECT_EQ(Extract(smaller.Draw(smallMask, SRCAND).Draw(colour, SRCINVERT)), nullptr);
}

TEST(MetafilePictExtractIcon, BlocksWithoutAPictureOfTwoBitmapsGiveNothing) {
    const SourceBitmap mask(32, 32, true, kOpaque);
    PictureRecorder none, one;
    EXPECT_EQ(Extract(none.DrawOther()), nullptr);
    const OwnedPicture oneBitmap(one.DrawOther().Draw(mask, SRCAND).DrawOther().Finish());
    EXPECT_EQ(SHMetafilePictExtractIcon(oneBitmap.get()), nullptr);
    EXPECT_EQ(GlobalFlags(oneBitmap.get()) & GMEM_LOCKCOUNT, 0u) << "the picture is unlocked again";
    EXPECT_EQ(SHMetafilePictExtractIcon(nullptr), nullptr);
    const vtls::UniqueGlobal tooSmall(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT) - 1));
    EXPECT_EQ(SHMetafilePictExtractIcon(tooSmall.get()), nullptr);
}

TEST(DestroyMetafilePict, FreesTheBlockAndItsMetafileUnlessItCannotBeLocked) {
    EXPECT_EQ(SHDestroyMetafilePict(nullptr), 0u);
    for (const bool discarded : {false, true}) {
        PictureRecorder recorder;
        const HMETAFILE metafile = recorder.DrawOther().FinishMetafile();
        const HGLOBAL block = WrapPicture(metafile);
        if (discarded) {
            ASSERT_EQ(GlobalDiscard(block), block);  // a discarded block cannot be locked
        }
        EXPECT_EQ(SHDestroyMetafilePict(block), 0u);
        EXPECT_EQ(GlobalFlags(block) == GMEM_INVALID_HANDLE, !discarded);
        EXPECT_EQ(GetObjectType(metafile) == OBJ_METAFILE, discarded);
        if (discarded) {
            DeleteMetaFile(metafile);
            GlobalFree(block);
        }
    }
}

}  // namespace
