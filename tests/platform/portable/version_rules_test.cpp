#include "platform/portable/version_rules.h"

#include <gtest/gtest.h>

namespace vtls::frame {
namespace {

struct FlagCase {
    ShellVersion version;
    std::int32_t isNT, isIntegratedIE, isWin2000;
};

class DeriveProcessFlagsTest : public ::testing::TestWithParam<FlagCase> {};

TEST_P(DeriveProcessFlagsTest, FollowsTheVersionThresholds) {
    const FlagCase& c = GetParam();
    const ProcessFlags flags = DeriveProcessFlags(c.version);
    EXPECT_EQ(flags.isNT, c.isNT);
    EXPECT_EQ(flags.isIntegratedIE, c.isIntegratedIE);
    EXPECT_EQ(flags.isWin2000, c.isWin2000);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, DeriveProcessFlagsTest,
    ::testing::Values(FlagCase{{2, 4, 70}, 1, 0, 0},   // NT 4 shell before the integrated one
                      FlagCase{{2, 4, 71}, 1, 1, 0},   // first integrated shell
                      FlagCase{{1, 4, 72}, 0, 1, 0},
                      FlagCase{{2, 5, 0}, 1, 1, 1},    // Windows 2000
                      FlagCase{{2, 6, 0}, 1, 1, 1},
                      FlagCase{{1, 4, 0}, 0, 0, 0},    // the defaults
                      FlagCase{{6242, 6, 0}, 0, 1, 1}, // a shell putting a build number there
                      FlagCase{{2, 3, 99}, 1, 0, 0},   // minor alone never makes it integrated
                      FlagCase{{2, 0xFFFFFFFFu, 0}, 1, 1, 1}));  // unsigned: huge is newer

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
