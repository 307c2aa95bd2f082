// Icons from the icon groups of the fixture DLL (three groups: "FolderIcon", 1
// and 2, each with images of 16, 32 and 48 pixels in 4-bit and 32-bit colour).
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "VantrelSh.h"
#include "icons/icon_inspection.h"
#include "support/registry_scratch.h"

namespace {

using namespace vtls::test;

// Past the last group the countdown does not reach zero; an index 3 beyond
// names integer id 1 if the countdown were taken for a name, and a negative one
// a wild pointer. Files that are no module or have no icons fail too.
TEST(ExtractIcon, WhatNamesNoGroupFailsWithNullIcons) {
    const std::wstring fixture = IconFixturePath(), folder = ProgramFolder();
    const std::pair<std::wstring, int> cases[] = {{fixture, 3}, {fixture, 6}, {fixture, -1}, {fixture, INT_MIN},
                                                  {folder + L"\\no-such-module.dll", 0}, {folder + L"\\VantrelUi.dll", 0}};
    for (const auto& [path, index] : cases) {
        HICON large = reinterpret_cast<HICON>(0x1234), small = large;
        EXPECT_EQ(SHExtractIcon(path.c_str(), index, &large, &small), E_FAIL) << index;
        EXPECT_TRUE(large == nullptr && small == nullptr) << index;
    }
    EXPECT_EQ(SHExtractIcon(nullptr, 0, nullptr, nullptr), E_FAIL);
}

// The index counts groups in enumeration order: string names first, so index 0
// is "FolderIcon" (group 2), then ids 1 and 2. The large size and colour depth
// are read when the library is loaded: a fresh process shows the setting
// stored before it started. The small icon is chosen for 16 pixels and made at
// the system's small size.
TEST(ExtractIconAtAttach, IndexCountsGroupsAndTheLargeIconHasTheShellIconSizeReadAtLoad) {
    const SavedKey setting(L"Control Panel\\Desktop\\WindowMetrics");
    // Wine picks the 32-bit image whatever the colour flag asks for (it ignores
    // LR_VGACOLOR); Windows honours the 16-colour palette.
    const std::string vga = RunningUnderWine() ? "32" : "4";
    const std::string small = std::to_string(GetSystemMetrics(SM_CXSMICON)) + " " +
                              std::to_string(GetSystemMetrics(SM_CYSMICON)) + " group ";
    const struct {
        const wchar_t *size, *bpp;
        int index;
        std::string large, small;
    } cases[] = {{L"48", L"32", 0, "48 48 group 2 image 48 depth 32", small + "2 image 16 depth 32"},
                 {L"16", L"4", 1, "16 16 group 0 image 16 depth " + vga, small + "0 image 16 depth " + vga},
                 // No image of that size: made from the nearest.
                 {L"72", L"32", 2, "72 72 group 1 image 48 depth 32", small + "1 image 16 depth 32"}};
    for (const auto& c : cases) {
        setting.SetText(L"Shell Icon Size", c.size);
        setting.SetText(L"Shell Icon BPP", c.bpp);
        const auto child = RunChild(L"vtls_probe.exe", L"extract-icon \"" + IconFixturePath() + L"\" " +
                                                           std::to_wstring(c.index));
        ASSERT_TRUE(child && child->exitCode == 0);
        auto report = ParseReport(child->output);
        EXPECT_EQ(report["large"], c.large) << c.index;
        EXPECT_EQ(report["small"], c.small) << c.index;
    }
}

}  // namespace
