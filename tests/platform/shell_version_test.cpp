// The version the library reports and the flags it fixed at load, against what
// the shell loaded in the process says of itself.
#include <gtest/gtest.h>

#include <shlwapi.h>

#include <cstring>
#include <sstream>

#include "VantrelSh.h"
#include "platform/portable/version_rules.h"
#include "support/child_process.h"

namespace {

using vtls::frame::DeriveProcessFlags;
using vtls::frame::ShellVersion;

ShellVersion ShellSelfReport() {
    const HMODULE shell = LoadLibraryW(L"shell32.dll");
    const auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(shell, "DllGetVersion")));
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    EXPECT_NE(getVersion, nullptr);
    EXPECT_EQ(getVersion(&info), S_OK);
    return {info.dwPlatformID, info.dwMajorVersion, info.dwMinorVersion};
}

ShellVersion ParseTriple(const std::string& text) {
    std::istringstream in(text);
    ShellVersion version{};
    in >> version.platform >> version.major >> version.minor;
    return version;
}

TEST(ShellVersion, ReportsTheLoadedShellsOwnVersion) {
    const ShellVersion shell = ShellSelfReport();  // loads shell32 into this process
    DWORD platform = 0, major = 0, minor = 0;
    SHGetVersion(&platform, &major, &minor);
    EXPECT_EQ((ShellVersion{platform, major, minor}), shell);
}

TEST(ShellVersion, FlagsFollowTheShellFoundAtLoad) {
    // In a fresh process, once with the shell already loaded and once without:
    // the flags are those of the version reported at load time.
    for (const wchar_t* arguments : {L"load-report --preload-shell", L"load-report"}) {
        const auto child = vtls::test::RunChild(L"vtls_probe.exe", arguments);
        ASSERT_TRUE(child.has_value());
        ASSERT_EQ(child->exitCode, 0u) << child->output;
        const auto report = vtls::test::ParseReport(child->output);
        const ShellVersion version = ParseTriple(report.at("version"));
        const auto flags = DeriveProcessFlags(version);
        std::ostringstream expected;
        expected << flags.isNT << ' ' << flags.isIntegratedIE << ' ' << flags.isWin2000;
        EXPECT_EQ(report.at("flags"), expected.str()) << child->output;
        if (report.at("shell32-at-load") == "1") {
            EXPECT_EQ(version, ShellSelfReport()) << child->output;
        } else {
            // No shell in the process: shell 4.0 on the NT platform the system reports.
            EXPECT_EQ(version, (ShellVersion{2, 4, 0})) << child->output;
        }
    }
}

TEST(ShellVersion, MissingOutPointersAreSkipped) {
    DWORD major = 0;
    SHGetVersion(nullptr, &major, nullptr);
    EXPECT_GE(major, 4u);
}

TEST(ShellSettings, ShellFillsOverTheClassicDefault) {
    SHELLFLAGSTATE ours;
    std::memset(&ours, 0xFF, sizeof(ours));
    SHGetSettings2(&ours);

    // What the shell itself writes over the same starting value.
    const HMODULE shell = LoadLibraryW(L"shell32.dll");
    using GetSettings = void(WINAPI*)(LPSHELLFLAGSTATE, DWORD);
    const auto getSettings =
        reinterpret_cast<GetSettings>(reinterpret_cast<void*>(GetProcAddress(shell, "SHGetSettings")));
    ASSERT_NE(getSettings, nullptr);
    SHELLFLAGSTATE theirs{};
    theirs.fWin95Classic = TRUE;
    getSettings(&theirs, 0xFFFFFFFF);
    EXPECT_EQ(std::memcmp(&ours, &theirs, sizeof(ours)), 0);
}

}  // namespace
