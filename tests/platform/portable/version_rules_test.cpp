#include "platform/portable/version_rules.h"

#include <gtest/gtest.h>

namespace vtls::frame {
namespace {

TEST(DeriveProcessFlags, FollowsTheVersionThresholds) {
    const struct {
        ShellVersion version;
        std::int32_t isNT, isIntegratedIE, isWin2000;
    } cases[] = {
        {{2, 4, 70}, 1, 0, 0},           // NT 4 shell before the integrated one
        {{2, 4, 71}, 1, 1, 0},           // first integrated shell
        {{1, 4, 72}, 0, 1, 0},
        {{2, 5, 0}, 1, 1, 1},            // Windows 2000
        {{2, 6, 0}, 1, 1, 1},
        {{1, 4, 0}, 0, 0, 0},            // the defaults
        {{6242, 6, 0}, 0, 1, 1},         // a shell putting a build number there
        {{2, 3, 99}, 1, 0, 0},           // minor alone never makes it integrated
        {{2, 0xFFFFFFFFu, 0}, 1, 1, 1},  // unsigned: huge is newer
    };
    for (const auto& c : cases) {
        const ProcessFlags flags = DeriveProcessFlags(c.version);
        EXPECT_TRUE(flags.isNT == c.isNT && flags.isIntegratedIE == c.isIntegratedIE && flags.isWin2000 == c.isWin2000)
            << c.version.platform << " " << c.version.major << "." << c.version.minor;
    }
}

TEST(ResolveShellVersion, WithoutAnyReportIsWindows95Shell40) {
    EXPECT_EQ(ResolveShellVersion(std::nullopt, std::nullopt), (ShellVersion{1, 4, 0}));
}

TEST(ResolveShellVersion, SystemOnlyDecidesThePlatform) {
    EXPECT_EQ(ResolveShellVersion(2u, std::nullopt), (ShellVersion{2, 4, 0}));
    EXPECT_EQ(ResolveShellVersion(1u, std::nullopt), (ShellVersion{1, 4, 0}));
    // Platforms other than NT keep the default.
    EXPECT_EQ(ResolveShellVersion(3u, std::nullopt), (ShellVersion{1, 4, 0}));
}

TEST(ResolveShellVersion, ShellReportWinsWhole) {
    // A shell claiming the 95 family on an NT system is believed.
    EXPECT_EQ(ResolveShellVersion(2u, ShellVersion{1, 4, 72}), (ShellVersion{1, 4, 72}));
    EXPECT_EQ(ResolveShellVersion(std::nullopt, ShellVersion{6242, 6, 0}), (ShellVersion{6242, 6, 0}));
}

}  // namespace
}  // namespace vtls::frame
