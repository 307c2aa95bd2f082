// Icons rebuilt from metafile pictures drawn with GDI: a mask record, then a
// colour record.
#include <gtest/gtest.h>

#include <cstdint>

#include "VantrelSh.h"
#include "icons/icon_inspection.h"
#include "icons/metafile_picture.h"
#include "icons/resource_census.h"

namespace {

using vtls::test::Blit;
using vtls::test::ColourAt;
using vtls::test::OwnedPicture;
using vtls::test::PictureRecorder;
using vtls::test::ShapeOf;
using vtls::test::SourceBitmap;
using Rgb = vtls::test::icon_fixture::Rgb;

constexpr std::uint16_t kStretchRecord = 0x0B41;
constexpr std::uint16_t kBitBltRecord = 0x0940;
// Words of a record as the extraction reads them, from the record's start.
constexpr std::size_t kStretchHeightAt = 10;
constexpr std::size_t kStretchWidthAt = 12;

struct Icon {
    HICON handle;
    explicit Icon(HICON icon) : handle(icon) {}
    ~Icon() {
        if (handle != nullptr) {
            DestroyIcon(handle);
        }
    }
    Icon(const Icon&) = delete;
    Icon& operator=(const Icon&) = delete;
};

bool SameColour(const std::optional<Rgb>& a, std::uint32_t rgb) {
    return a && a->r == ((rgb >> 16) & 0xFF) && a->g == ((rgb >> 8) & 0xFF) && a->b == (rgb & 0xFF);
}

// A colour image that tells its pixels apart: every corner differs.
std::uint32_t Gradient(int x, int y) {
    return 0x00400000u | static_cast<std::uint32_t>(x * 4) << 8 | static_cast<std::uint32_t>(y * 4);
}

// Mask: the left quarter transparent (white), the rest opaque.
int LeftQuarterClear(int x, int /*y*/, int width) { return x < width / 4 ? 1 : 0; }

// A picture of a mask and a colour record of blit from bitmaps of bitmap size.
HGLOBAL IconPicture(Blit maskBlit, Blit colourBlit, int width, int height) {
    const SourceBitmap mask(width, height, true, [&](int x, int y) { return LeftQuarterClear(x, y, width); });
    // Where the mask is clear, the colour is black, so the background shows.
    const SourceBitmap colour(width, height, false, [&](int x, int y) {
        return LeftQuarterClear(x, y, width) ? 0u : Gradient(x, y);
    });
    PictureRecorder recorder;
    recorder.Draw(maskBlit, mask, SRCAND);
    recorder.Draw(colourBlit, colour, SRCINVERT);
    return recorder.Finish();
}

TEST(MetafilePictExtractIcon, StretchRecordsGiveAnIconOfTheSourceSize) {
    for (const auto& size : {std::pair{32, 32}, std::pair{48, 24}, std::pair{16, 40}}) {
        const auto [width, height] = size;
        const OwnedPicture picture(IconPicture(Blit::kStretch, Blit::kStretch, width, height));
        const Icon icon(SHMetafilePictExtractIcon(picture.get()));
        ASSERT_NE(icon.handle, nullptr) << width << "x" << height;
        const auto shape = ShapeOf(icon.handle);
        EXPECT_EQ(shape.width, width);
        EXPECT_EQ(shape.height, height);
        EXPECT_FALSE(shape.monochrome);
        // The colour rows land where they were drawn (the bitmap's colour masks
        // are not taken for pixels), and the mask from the first record clears
        // the left quarter.
        EXPECT_TRUE(SameColour(ColourAt(icon.handle, width - 1, 0), Gradient(width - 1, 0)));
        EXPECT_TRUE(SameColour(ColourAt(icon.handle, width / 2, height - 1), Gradient(width / 2, height - 1)));
        EXPECT_TRUE(SameColour(ColourAt(icon.handle, 0, height / 2), 0x808080));
    }
}

TEST(MetafilePictExtractIcon, MonochromeSecondBitmapGivesAMonochromeIcon) {
    const SourceBitmap mask(24, 16, true, [](int, int) { return 0; });
    const SourceBitmap image(24, 16, true, [](int x, int) { return x % 2; });
    PictureRecorder recorder;
    recorder.Draw(Blit::kStretch, mask, SRCAND);
    recorder.Draw(Blit::kStretch, image, SRCINVERT);
    const OwnedPicture picture(recorder.Finish());
    const Icon icon(SHMetafilePictExtractIcon(picture.get()));
    ASSERT_NE(icon.handle, nullptr);
    const auto shape = ShapeOf(icon.handle);
    EXPECT_TRUE(shape.monochrome);
    EXPECT_EQ(shape.width, 24);
    EXPECT_EQ(shape.height, 16);
}

TEST(MetafilePictExtractIcon, OtherRecordsArePassedOverAndNothingAfterTheSecondBitmapCounts) {
    const SourceBitmap mask(32, 32, true, [](int, int) { return 0; });
    const SourceBitmap colour(32, 32, false, [](int, int) { return 0x00123456u; });
    const SourceBitmap later(32, 32, false, [](int, int) { return 0x00ABCDEFu; });
    PictureRecorder recorder;
    recorder.DrawOther();
    recorder.DrawStretchDib(8, 8);
    recorder.Draw(Blit::kStretch, mask, SRCAND);
    recorder.DrawOther();
    recorder.DrawStretchDib(8, 8);
    recorder.Draw(Blit::kStretch, colour, SRCINVERT, 0, 0, 20, 12);
    recorder.Draw(Blit::kStretch, later, SRCINVERT, 0, 0, 30, 30);
    recorder.DrawOther();
    const OwnedPicture picture(recorder.Finish());
    const Icon icon(SHMetafilePictExtractIcon(picture.get()));
    ASSERT_NE(icon.handle, nullptr);
    const auto shape = ShapeOf(icon.handle);
    EXPECT_EQ(shape.width, 20);
    EXPECT_EQ(shape.height, 12);
    EXPECT_TRUE(SameColour(ColourAt(icon.handle, 10, 6), 0x123456));
}

// META_DIBBITBLT: the height and width are read from parameter words 1 and 2,
// which GDI fills with the raster operation's high word (0x66 for SRCINVERT)
// and the source's y. An icon is made only where that fits both bitmaps.
TEST(MetafilePictExtractIcon, BitBltRecordsTakeTheirSizeFromWordsOneAndTwo) {
    {
        const OwnedPicture picture(IconPicture(Blit::kBitBlt, Blit::kBitBlt, 32, 32));
        EXPECT_EQ(SHMetafilePictExtractIcon(picture.get()), nullptr) << "102 rows asked of 32";
    }
    const SourceBitmap mask(120, 120, true, [](int, int) { return 0; });
    const SourceBitmap colour(120, 120, false, [](int, int) { return 0x00204060u; });
    for (const Blit maskBlit : {Blit::kBitBlt, Blit::kStretch}) {
        PictureRecorder recorder;
        recorder.Draw(maskBlit, mask, SRCAND);
        recorder.Draw(Blit::kBitBlt, colour, SRCINVERT, 0, 40, 100, 80);
        const OwnedPicture picture(recorder.Finish());
        const Icon icon(SHMetafilePictExtractIcon(picture.get()));
        ASSERT_NE(icon.handle, nullptr);
        const auto shape = ShapeOf(icon.handle);
        EXPECT_EQ(shape.height, 0x66);
        EXPECT_EQ(shape.width, 40);
    }
    {
        // Source y 0: an icon of no width.
        PictureRecorder recorder;
        recorder.Draw(Blit::kBitBlt, mask, SRCAND);
        recorder.Draw(Blit::kBitBlt, colour, SRCINVERT);
        const OwnedPicture picture(recorder.Finish());
        EXPECT_EQ(SHMetafilePictExtractIcon(picture.get()), nullptr);
    }
}

// The size read from the second record, edited by hand, against its bitmap
// (32 x 32) and the mask's.
TEST(MetafilePictExtractIcon, SizeLargerThanEitherBitmapIsRefused) {
    PictureRecorder recorder;
    const SourceBitmap mask(32, 32, true, [](int, int) { return 0; });
    const SourceBitmap colour(32, 32, false, [](int, int) { return 0x00654321u; });
    recorder.Draw(Blit::kStretch, mask, SRCAND);
    recorder.Draw(Blit::kStretch, colour, SRCINVERT);
    const HMETAFILE drawn = recorder.FinishMetafile();
    const std::vector<std::uint8_t> original = vtls::test::MetafileBytes(drawn);
    DeleteMetaFile(drawn);
    const auto records = vtls::test::FindRecords(original, kStretchRecord);
    ASSERT_EQ(records.size(), 2u);
    const struct {
        std::uint16_t height, width;
        bool made;
    } cases[] = {{32, 32, true}, {1, 1, true}, {33, 32, false}, {32, 33, false}, {0, 32, false}, {32, 0, false},
                 {0xFFFF, 0xFFFF, false}};
    for (const auto& c : cases) {
        std::vector<std::uint8_t> bytes = original;
        vtls::test::PutWord(bytes, records[1] + kStretchHeightAt, c.height);
        vtls::test::PutWord(bytes, records[1] + kStretchWidthAt, c.width);
        const OwnedPicture picture(PictureRecorder::Wrap(vtls::test::MetafileFromBytes(bytes)));
        ASSERT_NE(picture.metafile(), nullptr);
        const Icon icon(SHMetafilePictExtractIcon(picture.get()));
        EXPECT_EQ(icon.handle != nullptr, c.made) << c.height << "x" << c.width;
        if (icon.handle != nullptr) {
            EXPECT_EQ(ShapeOf(icon.handle).height, c.height);
        }
    }
    // A mask smaller than the icon: its rows would run out.
    {
        const SourceBitmap smallMask(16, 16, true, [](int, int) { return 0; });
        PictureRecorder smaller;
        smaller.Draw(Blit::kStretch, smallMask, SRCAND);
        smaller.Draw(Blit::kStretch, colour, SRCINVERT);
        const OwnedPicture picture(smaller.Finish());
        EXPECT_EQ(SHMetafilePictExtractIcon(picture.get()), nullptr);
    }
}

// Bytes edited so that the colour record's bitmap claims more than it holds,
// or the record more than the metafile holds.
TEST(MetafilePictExtractIcon, RecordsThatOverrunAreRefused) {
    PictureRecorder recorder;
    const SourceBitmap mask(16, 16, true, [](int, int) { return 0; });
    const SourceBitmap colour(16, 16, false, [](int, int) { return 0x00777777u; });
    recorder.Draw(Blit::kStretch, mask, SRCAND);
    recorder.Draw(Blit::kStretch, colour, SRCINVERT);
    const HMETAFILE drawn = recorder.FinishMetafile();
    const std::vector<std::uint8_t> original = vtls::test::MetafileBytes(drawn);
    DeleteMetaFile(drawn);
    const auto records = vtls::test::FindRecords(original, kStretchRecord);
    ASSERT_EQ(records.size(), 2u);
    constexpr std::size_t kHeaderAt = 26;
    constexpr std::size_t kBitmapHeightAt = kHeaderAt + 8;
    {
        std::vector<std::uint8_t> bytes = original;
        vtls::test::PutWord(bytes, records[1] + kBitmapHeightAt, 17);  // one row more than the bits
        const OwnedPicture picture(PictureRecorder::Wrap(vtls::test::MetafileFromBytes(bytes)));
        EXPECT_EQ(SHMetafilePictExtractIcon(picture.get()), nullptr);
    }
    {
        // The colour record's size field claims the whole rest and more.
        std::vector<std::uint8_t> bytes = original;
        const std::uint32_t words = static_cast<std::uint32_t>((bytes.size() - records[1]) / 2 + 8);
        std::memcpy(bytes.data() + records[1], &words, 4);
        const OwnedPicture picture(PictureRecorder::Wrap(vtls::test::MetafileFromBytes(bytes)));
        ASSERT_NE(picture.metafile(), nullptr);
        EXPECT_EQ(SHMetafilePictExtractIcon(picture.get()), nullptr);
    }
}

TEST(MetafilePictExtractIcon, PicturesWithoutTwoBitmapRecordsGiveNothingAndKeepNothing) {
    const SourceBitmap mask(32, 32, true, [](int, int) { return 0; });
    PictureRecorder none;
    none.DrawOther();
    none.DrawStretchDib(16, 16);
    const OwnedPicture noBitmap(none.Finish());
    PictureRecorder one;
    one.DrawOther();
    one.Draw(Blit::kStretch, mask, SRCAND);
    one.DrawOther();
    const OwnedPicture oneBitmap(one.Finish());

    // Warm up: the platform creates objects of its own on first use.
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(SHMetafilePictExtractIcon(noBitmap.get()), nullptr);
        EXPECT_EQ(SHMetafilePictExtractIcon(oneBitmap.get()), nullptr);
    }
    const auto before = vtls::test::TakeCensus();
    for (int i = 0; i < 500; ++i) {
        ASSERT_EQ(SHMetafilePictExtractIcon(noBitmap.get()), nullptr);
        ASSERT_EQ(SHMetafilePictExtractIcon(oneBitmap.get()), nullptr);
    }
    const auto after = vtls::test::TakeCensus();
    if (before.gdiObjects && after.gdiObjects) {
        EXPECT_EQ(*after.gdiObjects, *before.gdiObjects);
    }
    EXPECT_EQ(after.process.handles, before.process.handles);
    // The picture is only read: unlocked again and unchanged.
    EXPECT_EQ(GlobalFlags(oneBitmap.get()) & GMEM_LOCKCOUNT, 0u);
}

TEST(MetafilePictExtractIcon, BlocksThatHoldNoPictureGiveNothing) {
    EXPECT_EQ(SHMetafilePictExtractIcon(nullptr), nullptr);
    HGLOBAL tooSmall = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT) - 1);
    EXPECT_EQ(SHMetafilePictExtractIcon(tooSmall), nullptr);
    GlobalFree(tooSmall);
    const HBITMAP bitmap = CreateBitmap(4, 4, 1, 1, nullptr);
    HGLOBAL notAMetafile = PictureRecorder::Wrap(reinterpret_cast<HMETAFILE>(bitmap));
    EXPECT_EQ(SHMetafilePictExtractIcon(notAMetafile), nullptr);
    GlobalFree(notAMetafile);
    DeleteObject(bitmap);
}

TEST(DestroyMetafilePict, FreesTheBlockAndItsMetafile) {
    EXPECT_EQ(SHDestroyMetafilePict(nullptr), 0u);

    PictureRecorder recorder;
    recorder.DrawOther();
    const HGLOBAL block = recorder.Finish();
    const auto* picture = static_cast<const METAFILEPICT*>(GlobalLock(block));
    ASSERT_NE(picture, nullptr);
    const HMETAFILE metafile = picture->hMF;
    GlobalUnlock(block);
    ASSERT_EQ(GetObjectType(metafile), static_cast<DWORD>(OBJ_METAFILE));
    EXPECT_EQ(SHDestroyMetafilePict(block), 0u);
    EXPECT_EQ(GetObjectType(metafile), 0u);
    EXPECT_EQ(GlobalFlags(block), static_cast<UINT>(GMEM_INVALID_HANDLE));
}

TEST(DestroyMetafilePict, BlockThatCannotBeLockedIsLeftAlone) {
    PictureRecorder recorder;
    recorder.DrawOther();
    const HGLOBAL block = recorder.Finish();
    const auto* picture = static_cast<const METAFILEPICT*>(GlobalLock(block));
    ASSERT_NE(picture, nullptr);
    const HMETAFILE metafile = picture->hMF;
    GlobalUnlock(block);
    // A discarded block cannot be locked.
    ASSERT_EQ(GlobalDiscard(block), block);
    EXPECT_EQ(SHDestroyMetafilePict(block), 0u);
    EXPECT_NE(GlobalFlags(block), static_cast<UINT>(GMEM_INVALID_HANDLE));
    EXPECT_EQ(GetObjectType(metafile), static_cast<DWORD>(OBJ_METAFILE));
    DeleteMetaFile(metafile);
    GlobalFree(block);
}

}  // namespace
