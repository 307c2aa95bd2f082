// Icons rebuilt from metafile pictures drawn with GDI: a mask record, then a
// colour record. The record rules in detail are in
// portable/metafile_dib_record_test.cpp; leaks in icon_calls_census_dll_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "VantrelSh.h"
#include "icons/icon_inspection.h"

namespace {

using namespace vtls::test;
using vtls::UniqueIcon;

TEST(MetafilePictExtractIcon, StretchRecordsGiveAnIconOfTheSourceSize) {
    // Mask bits set for the first four pixels of every eight: the screen shows through there.
    const auto mask = MonoBitmap(48, 24, 0xF0), colour = ColourBitmap(48, 24), image = MonoBitmap(24, 16, 0x55);
    // Other records are passed over, and a bitmap after the second does not count.
    const auto picture = Picture({{mask.get(), SRCAND}, {colour.get(), SRCINVERT}, {image.get(), SRCAND}}, true);
    const UniqueIcon icon(SHMetafilePictExtractIcon(picture.get()));
    const auto shape = ShapeOf(icon.get());
    EXPECT_TRUE(!shape.monochrome && shape.width == 48 && shape.height == 24);
    // The rows land where they were drawn, and the mask applies.
    EXPECT_EQ(ColourAt(icon.get(), 47, 0), Gradient(47, 0));
    EXPECT_EQ(ColourAt(icon.get(), 44, 23), Gradient(44, 23));
    EXPECT_EQ(ColourAt(icon.get(), 0, 12), 0x808080u ^ Gradient(0, 12));
    // A monochrome second bitmap gives a monochrome icon.
    const OwnedPicture monochrome = Picture({{mask.get(), SRCAND}, {image.get(), SRCINVERT}});
    const UniqueIcon mono(SHMetafilePictExtractIcon(monochrome.get()));
    const auto monoShape = ShapeOf(mono.get());
    EXPECT_TRUE(monoShape.monochrome && monoShape.width == 24 && monoShape.height == 16);
}

// The second record edited by hand (bitmaps of 16 x 16): the size read against
// both bitmaps, the record against what is left of the metafile.
TEST(MetafilePictExtractIcon, RecordsThatDoNotFitAreRefused) {
    const auto mask = MonoBitmap(16, 16, 0), colour = ColourBitmap(16, 16), small = MonoBitmap(8, 8, 0);
    const HMETAFILE drawn = RecordMetafile({{mask.get(), SRCAND}, {colour.get(), SRCINVERT}});
    std::vector<std::uint8_t> original(GetMetaFileBitsEx(drawn, 0, nullptr));
    GetMetaFileBitsEx(drawn, static_cast<UINT>(original.size()), original.data());
    DeleteMetaFile(drawn);
    // The header, the two bitmap records (each its size in words, then its
    // function number), the end record.
    const auto word = [&original](std::size_t at) { return std::size_t{original[at]} | original[at + 1] << 8; };
    const std::size_t second = sizeof(METAHEADER) + word(sizeof(METAHEADER)) * 2;  // records this small: a word
    ASSERT_LT(second + 6, original.size());
    ASSERT_EQ(word(second + 4), 0x0B41u);
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
    EXPECT_EQ(SHMetafilePictExtractIcon(Picture({{small.get(), SRCAND}, {colour.get(), SRCINVERT}}).get()), nullptr);
}

// Pictures of no bitmap or of one are the census's.
TEST(MetafilePictExtractIcon, BlocksWithoutAPictureOfTwoBitmapsGiveNothing) {
    const auto mask = MonoBitmap(32, 32, 0);
    const OwnedPicture oneBitmap = Picture({{mask.get(), SRCAND}}, true);
    EXPECT_EQ(SHMetafilePictExtractIcon(oneBitmap.get()), nullptr);
    EXPECT_EQ(GlobalFlags(oneBitmap.get()) & GMEM_LOCKCOUNT, 0u) << "the picture is unlocked again";
    EXPECT_EQ(SHMetafilePictExtractIcon(nullptr), nullptr);
    const vtls::UniqueGlobal tooSmall(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(METAFILEPICT) - 1));
    EXPECT_EQ(SHMetafilePictExtractIcon(tooSmall.get()), nullptr);
}

TEST(DestroyMetafilePict, FreesTheBlockAndItsMetafileUnlessItCannotBeLocked) {
    EXPECT_EQ(SHDestroyMetafilePict(nullptr), 0u);
    for (const bool discarded : {false, true}) {
        const HMETAFILE metafile = RecordMetafile({}, true);
        const HGLOBAL block = WrapPicture(metafile);
        ASSERT_EQ(discarded ? GlobalDiscard(block) : block, block);  // a discarded block cannot be locked
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
