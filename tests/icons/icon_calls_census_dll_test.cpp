// The icon functions called 10,000 times, succeeding and failing: no GDI
// objects, handles, mapped views or memory may stay behind.
#include <gtest/gtest.h>

#include <cstdint>

#include "VantrelSh.h"
#include "icons/class_registration.h"
#include "icons/icon_inspection.h"
#include "icons/metafile_picture.h"
#include "icons/resource_census.h"

namespace {

using vtls::test::Census;
using vtls::test::TakeCensus;

constexpr int kCalls = 10000;
// Heap pages the platform keeps for reuse; one leaked icon or block per call
// would be tens of megabytes.
constexpr std::int64_t kMemoryAllowance = 4 << 20;

void ExpectNothingGrew(const Census& before, const Census& after) {
    if (before.gdiObjects && after.gdiObjects) {
        EXPECT_EQ(*after.gdiObjects, *before.gdiObjects) << "GDI objects";
    } else {
        ADD_FAILURE() << "GDI objects cannot be counted here";
    }
    EXPECT_EQ(after.mappedViews, before.mappedViews) << "mapped views";
    EXPECT_EQ(after.process.handles, before.process.handles) << "kernel handles";
    EXPECT_LT(static_cast<std::int64_t>(after.process.pagefileBytes) -
                  static_cast<std::int64_t>(before.process.pagefileBytes),
              kMemoryAllowance);
}

template <typename Body>
void Repeat(int times, Body body) {
    for (int i = 0; i < times; ++i) {
        body(i);
    }
}

TEST(IconCallsCensus, ExtractIcon) {
    const std::wstring path = vtls::test::IconFixturePath();
    int failures = 0;
    const auto once = [&](int i) {
        HICON large = nullptr;
        HICON small = nullptr;
        // Every group, the string-named one too, and now and then an index
        // that names none.
        failures += SHExtractIcon(path.c_str(), i % 3, &large, &small) != S_OK ? 1 : 0;
        DestroyIcon(large);
        DestroyIcon(small);
        if (i % 10 == 0) {
            failures += SHExtractIcon(path.c_str(), 3 + i % 5, &large, &small) != E_FAIL ? 1 : 0;
        }
    };
    Repeat(50, once);
    const Census before = TakeCensus();
    Repeat(kCalls, once);
    const Census after = TakeCensus();
    EXPECT_EQ(failures, 0);
    ExpectNothingGrew(before, after);
}

TEST(IconCallsCensus, MetafilePictExtractIcon) {
    using namespace vtls::test;
    const SourceBitmap mask(64, 64, true, [](int x, int) { return x < 8 ? 1 : 0; });
    const SourceBitmap colour(64, 64, false, [](int x, int y) { return static_cast<std::uint32_t>(x * 256 + y); });
    PictureRecorder both;
    both.Draw(Blit::kStretch, mask, SRCAND);
    both.Draw(Blit::kStretch, colour, SRCINVERT);
    const OwnedPicture picture(both.Finish());
    PictureRecorder one;
    one.Draw(Blit::kStretch, mask, SRCAND);
    const OwnedPicture maskOnly(one.Finish());
    int failures = 0;
    const auto once = [&](int) {
        const HICON icon = SHMetafilePictExtractIcon(picture.get());
        failures += icon == nullptr ? 1 : 0;
        DestroyIcon(icon);
        failures += SHMetafilePictExtractIcon(maskOnly.get()) != nullptr ? 1 : 0;
    };
    Repeat(50, once);
    const Census before = TakeCensus();
    Repeat(kCalls, once);
    const Census after = TakeCensus();
    EXPECT_EQ(failures, 0);
    ExpectNothingGrew(before, after);
}

TEST(IconCallsCensus, IconLocationFromClass) {
    const vtls::test::ClassRegistration registration;
    registration.SetDefault(L"DefaultIcon", REG_SZ, L"C:\\x\\app.dll,x");
    registration.SetDefault(L"InprocServer32", REG_SZ, L"C:\\x\\inproc.dll");
    int failures = 0;
    const auto once = [&](int) {
        wchar_t path[MAX_PATH];
        INT index = -1;
        failures += SHGetIconLocationFromClass(registration.id(), path, MAX_PATH, &index) != S_OK ? 1 : 0;
    };
    Repeat(50, once);
    const Census before = TakeCensus();
    Repeat(kCalls, once);
    const Census after = TakeCensus();
    EXPECT_EQ(failures, 0);
    ExpectNothingGrew(before, after);
}

}  // namespace
