// The shell icon settings as read at attach (the process globals) and per call.
#include <gtest/gtest.h>

#include <string>

#include "VantrelSh.h"
#include "icons/shell_icon_metrics.h"
#include "support/registry_scratch.h"

namespace {

using vtls::g_bHighColorIcons;
using vtls::g_nShellIconSize;
using vtls::InitShellIconMetrics;

const wchar_t kSize[] = L"Shell Icon Size";

struct Setting : vtls::test::SavedKey {
    Setting() : SavedKey(L"Control Panel\\Desktop\\WindowMetrics") {}
};

// Sizes from 16 to 72 are taken, by both readers; anything else gives the
// system's width. Only the width is the shell's own.
TEST(ShellIconMetrics, SizeInRangeIsUsedElseTheSystemsWidth) {
    const Setting setting;
    const int system = GetSystemMetrics(SM_CXICON);
    ASSERT_NE(system, 48) << "pick another size for this display";
    const struct {
        std::wstring text;
        int size;
    } cases[] = {{L"48", 48}, {L"16", 16}, {L"72", 72}, {L" 48", 48}, {L"48px", 48}, {L"15", system}, {L"73", system},
                 {L"-32", system}, {L"large", system}, {L"", system}, {L"4294967312", system},
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
    EXPECT_EQ(SHGetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CXSMICON));
    // 48 characters stored without a terminator: Windows hands over the 96 bytes
    // as they are, and the conversion must stop at the buffer's end (44); Wine
    // reports the value as too long (the system width).
    const std::wstring unterminated = std::wstring(46, L' ') + L"44";
    setting.Set(kSize, REG_SZ, unterminated.data(), unterminated.size() * sizeof(wchar_t));
    InitShellIconMetrics();
    EXPECT_TRUE(g_nShellIconSize == 44 || g_nShellIconSize == system) << g_nShellIconSize;
    // At attach the value's type is not checked: a DWORD whose bytes spell "48"
    // is taken there ('0' alone is out of range), but the per-call reader wants text.
    for (const DWORD number : {DWORD{'0'}, DWORD{'4' | ('8' << 16)}}) {
        setting.Set(kSize, REG_DWORD, &number, sizeof number);
        InitShellIconMetrics();
        EXPECT_EQ(g_nShellIconSize, number == '0' ? system : 48);
        EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), system);
    }
    setting.RemoveKey();
    InitShellIconMetrics();
    EXPECT_EQ(g_nShellIconSize, system);
    EXPECT_EQ(g_bHighColorIcons, FALSE);
}

TEST(ShellIconMetrics, ColourDepthAboveFourMeansHighColour) {
    const Setting setting;
    const std::pair<const wchar_t*, BOOL> cases[] = {{L"4", FALSE}, {L"1", FALSE}, {L"8", TRUE}, {L"32", TRUE}, {L"many", FALSE}};
    for (const auto& [text, high] : cases) {
        setting.SetText(L"Shell Icon BPP", text);
        InitShellIconMetrics();
        EXPECT_EQ(g_bHighColorIcons, high) << static_cast<int>(text[0]);
        EXPECT_EQ(SHUseHighColorIcons(), high);
    }
    setting.Remove(L"Shell Icon BPP");
    InitShellIconMetrics();
    EXPECT_EQ(SHUseHighColorIcons(), FALSE);
}

}  // namespace
