// The colour depth is read once, when the library attaches to a process; the
// icon width on every call.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "support/child_process.h"
#include "support/registry_scratch.h"

namespace {

std::string FreshProcessReport() {
    const auto child = vtls::test::RunChild(L"vtls_probe.exe", L"icon-metrics");
    return child && child->exitCode == 0 ? child->output : "probe failed";
}

TEST(ShellIconMetricsAtAttach, EachProcessReadsTheColourDepthWhenItLoadsTheLibrary) {
    const vtls::test::SavedKey setting(L"Control Panel\\Desktop\\WindowMetrics");
    const BOOL ownAtLoad = SHUseHighColorIcons();
    const int systemWidth = GetSystemMetrics(SM_CXICON);
    ASSERT_NE(systemWidth, 40);
    setting.SetText(L"Shell Icon BPP", L"5");  // above 4 bits per pixel: high colour
    setting.SetText(L"Shell Icon Size", L"40");
    std::string report = FreshProcessReport();
    EXPECT_NE(report.find("high-color 1"), std::string::npos) << report;
    EXPECT_NE(report.find("cx-icon 40"), std::string::npos) << report;
    setting.SetText(L"Shell Icon BPP", L"4");
    report = FreshProcessReport();
    EXPECT_NE(report.find("high-color 0"), std::string::npos) << report;
    // This process's colour depth stays as read at load; the width follows at once.
    EXPECT_EQ(SHUseHighColorIcons(), ownAtLoad);
    EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), 40);
    setting.Remove(L"Shell Icon Size");
    EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), systemWidth);
}

}  // namespace
