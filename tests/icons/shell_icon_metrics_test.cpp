// The shell icon settings as read at attach (the process globals) and per call.
#include <gtest/gtest.h>

#include <string>

#include "VantrelSh.h"
#include "icons/shell_icon_metrics.h"
#include "shell_icon_setting.h"

namespace {

using vtls::g_bHighColorIcons;
using vtls::g_nShellIconSize;
using vtls::InitShellIconMetrics;
using vtls::test::ShellIconSetting;

int SystemIconWidth() { return GetSystemMetrics(SM_CXICON); }

TEST(ShellIconMetrics, SizeInRangeIsUsedByBothReaders) {
    ShellIconSetting setting;
    ASSERT_NE(SystemIconWidth(), 48) << "pick another size for this display";
    for (const wchar_t* text : {L"48", L"16", L"72", L" 48", L"48px"}) {
        setting.SetText(ShellIconSetting::kSize, text);
        const int expected = _wtoi(text);
        InitShellIconMetrics();
        EXPECT_EQ(g_nShellIconSize, expected);
        EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), expected);
    }
    // Only the width is the shell's own; every other index is the system's.
    EXPECT_EQ(SHGetSystemMetrics(SM_CYICON), GetSystemMetrics(SM_CYICON));
    EXPECT_EQ(SHGetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CXSMICON));
}

TEST(ShellIconMetrics, SizeOutOfRangeOrNotANumberFallsBackToTheSystem) {
    ShellIconSetting setting;
    for (const wchar_t* text : {L"15", L"73", L"-32", L"large", L"", L"4294967312"}) {
        setting.SetText(ShellIconSetting::kSize, text);
        g_nShellIconSize = -1;
        InitShellIconMetrics();
        EXPECT_EQ(g_nShellIconSize, SystemIconWidth()) << static_cast<int>(text[0]);
        EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), SystemIconWidth()) << static_cast<int>(text[0]);
    }
}

TEST(ShellIconMetrics, SizeStoredAsANumberIsReadOnlyAtAttach) {
    ShellIconSetting setting;
    // A DWORD 48 reads as the text "0" at attach (no type check there: its
    // bytes 30 00 00 00 are the character '0'), which is out of range.
    setting.SetNumber(ShellIconSetting::kSize, '0');
    InitShellIconMetrics();
    EXPECT_EQ(g_nShellIconSize, SystemIconWidth());
    // A number whose bytes spell "48" is taken at attach, but the per-call
    // reader wants text and ignores it.
    setting.SetNumber(ShellIconSetting::kSize, '4' | ('8' << 16));
    InitShellIconMetrics();
    EXPECT_EQ(g_nShellIconSize, 48);
    EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), SystemIconWidth());
}

TEST(ShellIconMetrics, TextAsLongAsTheBufferEndsThere) {
    ShellIconSetting setting;
    // 47 characters and the terminator fill the 96-byte buffer exactly.
    setting.SetText(ShellIconSetting::kSize, std::wstring(45, L' ') + L"40");
    InitShellIconMetrics();
    EXPECT_EQ(g_nShellIconSize, 40);
    // 48 characters stored without a terminator: Windows hands over the 96
    // bytes as they are, and the conversion must stop at the buffer's end (44);
    // Wine reports the value as too long for the buffer (the system width).
    const std::wstring unterminated = std::wstring(46, L' ') + L"44";
    setting.SetBytes(ShellIconSetting::kSize, REG_SZ, unterminated.data(), unterminated.size() * sizeof(wchar_t));
    InitShellIconMetrics();
    EXPECT_TRUE(g_nShellIconSize == 44 || g_nShellIconSize == SystemIconWidth()) << g_nShellIconSize;
    // One character more does not fit and is not read at all.
    setting.SetText(ShellIconSetting::kSize, std::wstring(46, L' ') + L"40");
    InitShellIconMetrics();
    EXPECT_EQ(g_nShellIconSize, SystemIconWidth());
}

TEST(ShellIconMetrics, ColourDepthAboveFourMeansHighColour) {
    ShellIconSetting setting;
    const struct {
        const wchar_t* text;
        BOOL high;
    } cases[] = {{L"4", FALSE}, {L"1", FALSE}, {L"8", TRUE}, {L"16", TRUE}, {L"32", TRUE}, {L"many", FALSE}};
    for (const auto& c : cases) {
        setting.SetText(ShellIconSetting::kBpp, c.text);
        InitShellIconMetrics();
        EXPECT_EQ(g_bHighColorIcons, c.high) << static_cast<int>(c.text[0]);
        EXPECT_EQ(SHUseHighColorIcons(), c.high);
    }
    setting.Remove(ShellIconSetting::kBpp);
    InitShellIconMetrics();
    EXPECT_EQ(SHUseHighColorIcons(), FALSE);
}

TEST(ShellIconMetrics, NoSettingsKeyGivesSystemValues) {
    ShellIconSetting setting;
    setting.SetText(ShellIconSetting::kBpp, L"32");
    setting.SetText(ShellIconSetting::kSize, L"48");
    setting.RemoveKey();
    InitShellIconMetrics();
    EXPECT_EQ(g_nShellIconSize, SystemIconWidth());
    EXPECT_EQ(g_bHighColorIcons, FALSE);
    EXPECT_EQ(SHGetSystemMetrics(SM_CXICON), SystemIconWidth());
}

}  // namespace
