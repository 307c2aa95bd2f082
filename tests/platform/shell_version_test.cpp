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

using vtls::frame::ShellVersion;

ShellVersion ShellSelfReport() {
    const auto getVersion = reinterpret_cast<DLLGETVERSIONPROC>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "DllGetVersion")));
    DLLVERSIONINFO info{};
    info.cbSize = sizeof(info);
    EXPECT_EQ(getVersion(&info), S_OK);
    return {info.dwPlatformID, info.dwMajorVersion, info.dwMinorVersion};
}

TEST(ShellVersion, ReportsTheLoadedShellsOwnVersionAndSkipsMissingOutPointers) {
    const ShellVersion shell = ShellSelfReport();  // loads shell32 into this process
    DWORD platform = 0, major = 0, minor = 0;
    SHGetVersion(&platform, &major, &minor);
    EXPECT_EQ((ShellVersion{platform, major, minor}), shell);
    major = 0;
    SHGetVersion(nullptr, &major, nullptr);
    EXPECT_EQ(major, shell.major);
}

// In a fresh process, once with the shell already loaded and once without: the
// flags are those of the version reported at load time, and loading started no
// thread and made no window.
TEST(ShellVersion, FlagsFollowTheShellFoundAtLoad) {
    for (const wchar_t* arguments : {L"load-report --preload-shell", L"load-report"}) {
        const auto child = vtls::test::RunChild(L"vtls_probe.exe", arguments);
        ASSERT_TRUE(child && child->exitCode == 0) << (child ? child->output : "no child");
        const auto report = vtls::test::ParseReport(child->output);
        std::istringstream in(report.at("version"));
        ShellVersion version{};
        in >> version.platform >> version.major >> version.minor;
        const auto flags = vtls::frame::DeriveProcessFlags(version);
        std::ostringstream expected;
        expected << flags.isNT << ' ' << flags.isIntegratedIE << ' ' << flags.isWin2000;
        EXPECT_EQ(report.at("flags"), expected.str()) << child->output;
        EXPECT_EQ(report.at("threads-added"), "0") << child->output;
        EXPECT_EQ(report.at("windows-added"), "0") << child->output;
        // No shell in the process: shell 4.0 on the NT platform the system reports.
        const ShellVersion withoutShell{2, 4, 0};
        EXPECT_EQ(version, report.at("shell32-at-load") == "1" ? ShellSelfReport() : withoutShell);
    }
}

TEST(ShellSettings, ShellFillsOverTheClassicDefault) {
    SHELLFLAGSTATE ours, theirs{};
    std::memset(&ours, 0xFF, sizeof(ours));
    SHGetSettings2(&ours);
    // What the shell itself writes over the same starting value.
    const auto getSettings = reinterpret_cast<void(WINAPI*)(LPSHELLFLAGSTATE, DWORD)>(
        reinterpret_cast<void*>(GetProcAddress(LoadLibraryW(L"shell32.dll"), "SHGetSettings")));
    ASSERT_NE(getSettings, nullptr);
    theirs.fWin95Classic = TRUE;
    getSettings(&theirs, 0xFFFFFFFF);
    EXPECT_EQ(std::memcmp(&ours, &theirs, sizeof(ours)), 0);
}

}  // namespace
