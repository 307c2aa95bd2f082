// The icon functions called 10,000 times, succeeding and failing: no GDI
// objects, handles, mapped views or memory may stay behind.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>

#include "VantrelSh.h"
#include "icons/icon_inspection.h"
#include "support/process_resources.h"
#include "support/registry_scratch.h"

namespace {

using namespace vtls::test;

template <typename T>
T ReadAt(const std::uint8_t* at) {
    T value{};
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Wine's GetGuiResources answers 0 (a stub in 8.0), but Wine keeps one GDI
// handle table per process, published like Windows' shared one through the PEB
// (GdiSharedHandleTable: 0xF8 on x86_64, 0x94 on i686; 65536 entries of 24
// bytes, the type at byte 14; the TEB keeps the PEB at 0x60 on x86_64, 0x30 on
// i686). Wine 10 in WoW64 mode publishes it only in the 64-bit PEB, which a
// 32-bit process reaches through its 64-bit TEB (the 32-bit TEB's WowTebOffset
// at 0xFDC), below 4 GiB.
std::optional<std::size_t> CountWineGdiTable() {
    const auto* teb = reinterpret_cast<const std::uint8_t*>(NtCurrentTeb());
    const auto* peb = ReadAt<const std::uint8_t*>(teb + (sizeof(void*) == 8 ? 0x60 : 0x30));
    auto table = ReadAt<const std::uint8_t*>(peb + (sizeof(void*) == 8 ? 0xF8 : 0x94));
    if (table == nullptr && sizeof(void*) == 4) {
        const auto wowTebOffset = ReadAt<LONG>(teb + 0xFDC);
        const auto peb64 = wowTebOffset != 0 ? ReadAt<std::uint64_t>(teb + wowTebOffset + 0x60) : 0;
        if (peb64 == 0 || peb64 >= (std::uint64_t{1} << 32)) return std::nullopt;
        const auto table64 = ReadAt<std::uint64_t>(reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(peb64)) + 0xF8);
        if (table64 >= (std::uint64_t{1} << 32)) return std::nullopt;
        table = reinterpret_cast<const std::uint8_t*>(static_cast<std::uintptr_t>(table64));
    }
    if (table == nullptr) return std::nullopt;
    std::size_t live = 0;
    for (std::size_t i = 0; i < 0x10000; ++i) live += table[i * 24 + 14] != 0 ? 1 : 0;
    return live;
}

std::optional<std::size_t> CountGdiObjects() {
    const DWORD reported = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    if (reported != 0) return reported;
    return RunningUnderWine() ? CountWineGdiTable() : std::nullopt;
}

// Regions that map a file, module images included: a module loaded as a data
// file and never freed stays one of them.
std::size_t CountMappedViews() {
    std::size_t views = 0;
    MEMORY_BASIC_INFORMATION region{};
    for (const std::uint8_t* at = nullptr; VirtualQuery(at, &region, sizeof(region)) == sizeof(region);) {
        views += (region.Type == MEM_MAPPED || region.Type == MEM_IMAGE) && region.BaseAddress == region.AllocationBase;
        const auto* next = static_cast<const std::uint8_t*>(region.BaseAddress) + region.RegionSize;
        if (next <= at) break;
        at = next;
    }
    return views;
}

// Warms up (the platform makes objects of its own on first use), then calls
// once(i) 10,000 times; once answers whether the call gave what it should.
void ExpectNothingStays(const std::function<bool(int)>& once) {
    int failures = 0;
    for (int i = 0; i < 50; ++i) failures += once(i) ? 0 : 1;
    const auto gdi = CountGdiObjects();
    const std::size_t views = CountMappedViews();
    const ProcessResources process = MeasureProcess();
    for (int i = 0; i < 10000; ++i) failures += once(i) ? 0 : 1;
    EXPECT_EQ(failures, 0);
    ASSERT_TRUE(gdi.has_value()) << "GDI objects cannot be counted here";
    EXPECT_EQ(CountGdiObjects().value_or(0), *gdi);
    EXPECT_EQ(CountMappedViews(), views);
    const ProcessResources after = MeasureProcess();
    EXPECT_EQ(after.handles, process.handles);
    // Heap pages the platform keeps for reuse; one leaked icon or block per call
    // would be tens of megabytes.
    EXPECT_LT(static_cast<std::int64_t>(after.pagefileBytes) - static_cast<std::int64_t>(process.pagefileBytes),
              4 << 20);
}

TEST(IconCallsCensus, ExtractIcon) {
    const std::wstring path = IconFixturePath();
    ExpectNothingStays([&](int i) {
        HICON large = nullptr, small = nullptr;
        // Every group, the string-named one too, with either icon or both left
        // out now and then, and now and then an index that names none.
        const HRESULT result = SHExtractIcon(path.c_str(), i % 3, i & 1 ? &large : nullptr, i & 2 ? &small : nullptr);
        const bool made = result == S_OK && (large != nullptr) == ((i & 1) != 0) && (small != nullptr) == ((i & 2) != 0);
        DestroyIcon(large);
        DestroyIcon(small);
        return made && (i % 10 != 0 || SHExtractIcon(path.c_str(), 3 + i % 5, &large, &small) == E_FAIL);
    });
}

TEST(IconCallsCensus, MetafilePictExtractIcon) {
    const auto mask = MonoBitmap(64, 64, 0x80), colour = ColourBitmap(64, 64);
    const OwnedPicture picture = Picture({{mask.get(), SRCAND}, {colour.get(), SRCINVERT}});
    const OwnedPicture maskOnly = Picture({{mask.get(), SRCAND}}), noBitmap = Picture({}, true);
    ExpectNothingStays([&](int) {
        const HICON icon = SHMetafilePictExtractIcon(picture.get());
        DestroyIcon(icon);
        return icon != nullptr && SHMetafilePictExtractIcon(maskOnly.get()) == nullptr &&
               SHMetafilePictExtractIcon(noBitmap.get()) == nullptr;
    });
}

TEST(IconCallsCensus, IconLocationFromClass) {
    const ClassKey registration;
    registration.SetText(L"DefaultIcon", nullptr, L"C:\\x\\app.dll,x");
    registration.SetText(L"InprocServer32", nullptr, L"C:\\x\\inproc.dll");
    ExpectNothingStays([&](int) {
        wchar_t path[MAX_PATH];
        INT index = -1;
        return SHGetIconLocationFromClass(registration.id(), path, MAX_PATH, &index) == S_OK;
    });
}

}  // namespace
