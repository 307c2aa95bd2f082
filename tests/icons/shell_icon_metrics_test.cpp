// The shell icon size as read at attach (the process global) and per call; the
// colour depth at attach is shell_icon_metrics_dll_test.cpp's.
#include <gtest/gtest.h>

#include <string>

#include "VantrelSh.h"
#include "icons/shell_icon_metrics.h"
#include "support/registry_scratch.h"

namespace {

using namespace vtls;

const wchar_t kSize[] = L"Shell Icon Size";

// Sizes from 16 to 72 are taken, by both readers; anything else gives the
// system's width. Only the width is the shell's own.
TEST(ShellIconMetrics, SizeInRangeIsUsedElseTheSystemsWidth) {
    const vtls::test::SavedKey setting(L"Control Panel\\Desktop\\WindowMetrics");
    const int system = GetSystemMetrics(SM_CXICON);
    ASSERT_NE(system, 48) << "pick another size for this display";
    const struct {
        std::wstring text;
        int size;
    } cases[] = {{L"48", 48}, {L"16", 16}, {L"72", 72}, {L"48px", 48}, {L"15", system}, {L"73", system},
                 {L"-32", system}, {L"large", system}, {L"4294967312", system},
                 // 47 characters and the terminator fill the 96-byte buffer; one more is not read.
                 {std::wstring(45, L' ') + L"40", 40}, {std::wstring(46, L' ') + L"40", system}};
    for (const auto& c : cases) {
        setting.SetText(kSize, c.text);
        g_nShellIconSize = -1;
        InitShellIconMetrics();
        EXPECT_EQ(g_nShellIconSize, c.size) << c.text.size();
        EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), c.size) << c.text.size();
    }
    EXPECT_EQ(SHGetSystemMetrics(SM_CYICON), GetSystemMetrics(SM_CYICON));
    // At attach the value's type is not checked: a DWORD whose bytes spell "48"
    // is taken there, but the per-call reader wants text.
    const DWORD number = '4' | ('8' << 16);
    setting.Set(kSize, REG_DWORD, &number, sizeof number);
    InitShellIconMetrics();
    EXPECT_EQ(g_nShellIconSize, 48);
    EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), system);
    setting.RemoveKey();
    InitShellIconMetrics();
    EXPECT_EQ(g_nShellIconSize, system);
    EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), system);
    EXPECT_EQ(g_bHighColorIcons, FALSE);
}

}  // namespace
