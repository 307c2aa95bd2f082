// The colour depth is read once, when the library attaches to a process; the
// icon width on every call.
#include <gtest/gtest.h>

#include "VantrelSh.h"
#include "shell_icon_setting.h"
#include "support/child_process.h"

namespace {

using vtls::test::ShellIconSetting;

std::string FreshProcessReport() {
    const auto child = vtls::test::RunChild(L"vtls_probe.exe", L"icon-metrics");
    if (!child || child->exitCode != 0) {
        return "probe failed";
    }
    return child->output;
}

TEST(ShellIconMetricsAtAttach, EachProcessReadsTheColourDepthWhenItLoadsTheLibrary) {
    ShellIconSetting setting;
    const BOOL ownAtLoad = SHUseHighColorIcons();
    const int systemWidth = GetSystemMetrics(SM_CXICON);
    ASSERT_NE(systemWidth, 40);

    setting.SetText(ShellIconSetting::kBpp, L"16");
    setting.SetText(ShellIconSetting::kSize, L"40");
    std::string report = FreshProcessReport();
    EXPECT_NE(report.find("high-color 1"), std::string::npos) << report;
    EXPECT_NE(report.find("cx-icon 40"), std::string::npos) << report;

    setting.SetText(ShellIconSetting::kBpp, L"4");
    report = FreshProcessReport();
    EXPECT_NE(report.find("high-color 0"), std::string::npos) << report;

    // This process loaded the library before: its colour depth stays as read
    // then, while the width follows the setting at once.
    EXPECT_EQ(SHUseHighColorIcons(), ownAtLoad);
    EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), 40);
    setting.Remove(ShellIconSetting::kSize);
    EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), systemWidth);
}

}  // namespace
