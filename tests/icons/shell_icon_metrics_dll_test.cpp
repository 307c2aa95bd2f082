// The colour depth is read once, when the library attaches to a process; the
// icon width, read on every call, is shell_icon_metrics_test.cpp's.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "support/child_process.h"
#include "support/registry_scratch.h"

namespace {

TEST(ShellIconMetricsAtAttach, EachProcessReadsTheColourDepthWhenItLoadsTheLibrary) {
    const vtls::test::SavedKey setting(L"Control Panel\\Desktop\\WindowMetrics");
    const BOOL ownAtLoad = SHUseHighColorIcons();
    // Above 4 bits per pixel: high colour.
    for (const auto& [bpp, highColour] : {std::pair{L"5", "1"}, std::pair{L"4", "0"}}) {
        setting.SetText(L"Shell Icon BPP", bpp);
        const auto child = vtls::test::RunChild(L"vtls_probe.exe", L"load-report");
        ASSERT_TRUE(child && child->exitCode == 0);
        EXPECT_EQ(vtls::test::ParseReport(child->output)["high-color"], highColour);
    }
    // This process's stays as read at load.
    EXPECT_EQ(SHUseHighColorIcons(), ownAtLoad);
}

}  // namespace
