// Icons rebuilt from metafile pictures drawn with GDI: a mask record, then a
// colour record. The record rules in detail are in
// portable/metafile_dib_record_test.cpp; leaks in icon_calls_census_dll_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>

#include "VantrelSh.h"
#include "icons/icon_inspection.h"
#include "icons/metafile_picture.h"

namespace {

using namespace vtls::test;

struct Icon {
    HICON handle;
    explicit Icon(HICON icon) : handle(icon) {}
    ~Icon() {
        if (handle != nullptr) DestroyIcon(handle);
    }
};

bool SameColour(const std::optional<icon_fixture::Rgb>& a, std::uint32_t rgb) {
    return a && a->r == ((rgb >> 16) & 0xFF) && a->g == ((rgb >> 8) & 0xFF) && a->b == (rgb & 0xFF);
}

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
    for (const auto& [width, height] : {std::pair{32, 32}, std::pair{48, 24}, std::pair{16, 40}}) {
        const int w = width;
        const SourceBitmap mask(w, height, true, [w](int x, int) { return x < w / 4 ? 1u : 0u; });
        const SourceBitmap colour(w, height, false, [w](int x, int y) { return x < w / 4 ? 0u : Gradient(x, y); });
        PictureRecorder recorder;
        const Icon icon(Extract(recorder.Draw(Blit::kStretch, mask, SRCAND).Draw(Blit::kStretch, colour, SRCINVERT)));
        const auto shape = ShapeOf(icon.handle);
        EXPECT_TRUE(shape.valid && !shape.monochrome && shape.width == w && shape.height == height) << w;
        // The rows land where they were drawn and the first record's mask clears the left quarter.
        EXPECT_TRUE(SameColour(ColourAt(icon.handle, w - 1, 0), Gradient(w - 1, 0)));
        EXPECT_TRUE(SameColour(ColourAt(icon.handle, w / 2, height - 1), Gradient(w / 2, height - 1)));
        EXPECT_TRUE(SameColour(ColourAt(icon.handle, 0, height / 2), 0x808080));
    }
    // A monochrome second bitmap gives a monochrome icon.
    const SourceBitmap mask(24, 16, true, kOpaque);
    const SourceBitmap image(24, 16, true, [](int x, int) { return x % 2u; });
    PictureRecorder recorder;
    const Icon icon(Extract(recorder.Draw(Blit::kStretch, mask, SRCAND).Draw(Blit::kStretch, image, SRCINVERT)));
    const auto shape = ShapeOf(icon.handle);
    EXPECT_TRUE(shape.valid && shape.monochrome && shape.width == 24 && shape.height == 16);
}

TEST(MetafilePictExtractIcon, OtherRecordsArePassedOverAndNothingAfterTheSecondBitmapCounts) {
    const SourceBitmap mask(32, 32, true, kOpaque);
    const SourceBitmap colour(32, 32, false, Fill(0x00123456));
    const SourceBitmap later(32, 32, false, Fill(0x00ABCDEF));
    PictureRecorder recorder;
    recorder.DrawOther().Draw(Blit::kStretch, mask, SRCAND).DrawOther();
    recorder.Draw(Blit::kStretch, colour, SRCINVERT, 0, 0, 20, 12).Draw(Blit::kStretch, later, SRCINVERT).DrawOther();
    const Icon icon(Extract(recorder));
    const auto shape = ShapeOf(icon.handle);
    EXPECT_TRUE(shape.width == 20 && shape.height == 12);
    EXPECT_TRUE(SameColour(ColourAt(icon.handle, 10, 6), 0x123456));
}

// META_DIBBITBLT: the height and width are read from parameter words 1 and 2,
// which GDI fills with the raster operation's high word (0x66 for SRCINVERT)
// and the source's y. An icon is made only where that fits both bitmaps.
TEST(MetafilePictExtractIcon, BitBltRecordsTakeTheirSizeFromWordsOneAndTwo) {
    const SourceBitmap mask(120, 120, true, kOpaque);
    const SourceBitmap colour(120, 120, false, Fill(0x00204060));
    for (const Blit maskBlit : {Blit::kBitBlt, Blit::kStretch}) {
        PictureRecorder recorder;
        const Icon icon(Extract(recorder.Draw(maskBlit, mask, SRCAND).Draw(Blit::kBitBlt, colour, SRCINVERT, 0, 40)));
        const auto shape = ShapeOf(icon.handle);
        EXPECT_TRUE(shape.height == 0x66 && shape.width == 40);
    }
    const SourceBitmap smallMask(32, 32, true, kOpaque), smallColour(32, 32, false, Fill(1));
    PictureRecorder tooTall, noWidth;
    EXPECT_EQ(Extract(tooTall.Draw(Blit::kBitBlt, smallMask, SRCAND).Draw(Blit::kBitBlt, smallColour, SRCINVERT)),
              nullptr) << "102 rows asked of 32";
    EXPECT_EQ(Extract(noWidth.Draw(Blit::kBitBlt, mask, SRCAND).Draw(Blit::kBitBlt, colour, SRCINVERT)), nullptr)
        << "source y 0: no width";
}

// The second record edited by hand (bitmaps of 16 x 16): the size read against
// both bitmaps, the bitmap against its bits, the record against the metafile.
TEST(MetafilePictExtractIcon, RecordsThatDoNotFitAreRefused) {
    const SourceBitmap mask(16, 16, true, kOpaque), colour(16, 16, false, Fill(0x00654321));
    PictureRecorder recorder;
    const HMETAFILE drawn =
        recorder.Draw(Blit::kStretch, mask, SRCAND).Draw(Blit::kStretch, colour, SRCINVERT).FinishMetafile();
    const std::vector<std::uint8_t> original = MetafileBytes(drawn);
    DeleteMetaFile(drawn);
    const auto records = FindRecords(original, 0x0B41);
    ASSERT_EQ(records.size(), 2u);
    const std::size_t recordWords = (original.size() - records[1]) / 2;
    const struct {
        std::size_t at;  // from the record's start: 10 height, 12 width, 34 bitmap height, 0 record size
        std::uint32_t value;
        int height;  // of the icon made, 0: none
    } cases[] = {{10, 16, 16}, {10, 1, 1}, {10, 17, 0}, {12, 17, 0}, {10, 0, 0}, {12, 0, 0}, {10, 0xFFFF, 0},
                 {34, 17, 0}, {0, static_cast<std::uint32_t>(recordWords + 8), 0}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = original;
        std::memcpy(bytes.data() + records[1] + c.at, &c.value, c.at == 0 ? 4 : 2);
        const OwnedPicture picture(WrapPicture(SetMetaFileBitsEx(static_cast<UINT>(bytes.size()), bytes.data())));
        const Icon icon(SHMetafilePictExtractIcon(picture.get()));
        EXPECT_EQ(ShapeOf(icon.handle).height, c.height) << c.at << " = " << c.value;
    }
    // A mask smaller than the icon: its rows would run out.
    const SourceBitmap smallMask(8, 8, true, kOpaque);
    PictureRecorder smaller;
    EXPECT_EQ(Extract(smaller.Draw(Blit::kStretch, smallMask, SRCAND).Draw(Blit::kStretch, colour, SRCINVERT)), nullptr);
}

TEST(MetafilePictExtractIcon, BlocksWithoutAPictureOfTwoBitmapsGiveNothing) {
    const SourceBitmap mask(32, 32, true, kOpaque);
    PictureRecorder none, one;
    const OwnedPicture noBitmap(none.DrawOther().Finish());
    const OwnedPicture oneBitmap(one.DrawOther().Draw(Blit::kStretch, mask, SRCAND).DrawOther().Finish());
    EXPECT_EQ(SHMetafilePictExtractIcon(noBitmap.get()), nullptr);
    EXPECT_EQ(SHMetafilePictExtractIcon(oneBitmap.get()), nullptr);
    EXPECT_EQ(GlobalFlags(oneBitmap.get()) & GMEM_LOCKCOUNT, 0u) << "the picture is unlocked again";
    EXPECT_EQ(SHMetafilePictExtractIcon(nullptr), nullptr);
    const vtls::UniqueGlobal tooSmall(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT) - 1));
    EXPECT_EQ(SHMetafilePictExtractIcon(tooSmall.get()), nullptr);
    const HBITMAP bitmap = CreateBitmap(4, 4, 1, 1, nullptr);
    const vtls::UniqueGlobal notAMetafile(WrapPicture(reinterpret_cast<HMETAFILE>(bitmap)));
    EXPECT_EQ(SHMetafilePictExtractIcon(notAMetafile.get()), nullptr);
    DeleteObject(bitmap);
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
