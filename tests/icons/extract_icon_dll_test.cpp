// Icons from the icon groups of the fixture DLL (three groups: "FolderIcon",
// 1 and 2, each with images of 16, 32 and 48 pixels in 4-bit and 32-bit colour).
#include <gtest/gtest.h>

#include <climits>
#include <fstream>
#include <string>

#include "VantrelSh.h"
#include "icons/icon_inspection.h"
#include "icons/shell_icon_setting.h"
#include "icons/under_wine.h"
#include "support/child_process.h"

namespace {

using vtls::test::FixtureImage;
using vtls::test::IconFixturePath;
using vtls::test::IdentifyImage;
using vtls::test::kGroupAtIndex;
using vtls::test::ShapeOf;

// Icons handed out by one call, destroyed with the test.
struct Extracted {
    HRESULT result = E_UNEXPECTED;
    HICON large = reinterpret_cast<HICON>(0x1234);  // the call must clear these
    HICON small = reinterpret_cast<HICON>(0x5678);
    ~Extracted() {
        for (HICON icon : {large, small}) {
            if (icon != nullptr && icon != reinterpret_cast<HICON>(0x1234) && icon != reinterpret_cast<HICON>(0x5678)) {
                DestroyIcon(icon);
            }
        }
    }
};

void Extract(const std::wstring& path, int index, Extracted& out, bool wantLarge = true, bool wantSmall = true) {
    out.result = SHExtractIcon(path.c_str(), index, wantLarge ? &out.large : nullptr, wantSmall ? &out.small : nullptr);
}

// Wine picks the 32-bit image and makes 32-bit icons whatever the colour flag
// asks for (it ignores LR_VGACOLOR); Windows honours the 16-colour palette.
int ExpectedDepth() { return SHUseHighColorIcons() || vtls::test::RunningUnderWine() ? 32 : 4; }

TEST(ExtractIcon, IndexCountsGroupsInEnumerationOrder) {
    // The shell icon size this process read when it loaded the library; no
    // setting is stored in the test prefix, so it is the system's.
    const int largeSize = SHGetSystemMetrics(SM_CXICON);
    const int smallWidth = GetSystemMetrics(SM_CXSMICON);
    ASSERT_TRUE(largeSize == 16 || largeSize == 32 || largeSize == 48) << "the fixture has no image of that size";
    for (int index = 0; index < 3; ++index) {
        Extracted icons;
        Extract(IconFixturePath(), index, icons);
        ASSERT_EQ(icons.result, S_OK) << index;
        EXPECT_EQ(ShapeOf(icons.large).width, largeSize);
        EXPECT_EQ(ShapeOf(icons.large).height, largeSize);
        EXPECT_EQ(ShapeOf(icons.small).width, smallWidth);
        EXPECT_EQ(ShapeOf(icons.small).height, GetSystemMetrics(SM_CYSMICON));
        EXPECT_EQ(IdentifyImage(icons.large), (FixtureImage{kGroupAtIndex[index], largeSize, ExpectedDepth()}));
        EXPECT_EQ(IdentifyImage(icons.small), (FixtureImage{kGroupAtIndex[index], 16, ExpectedDepth()}));
    }
}

TEST(ExtractIcon, EitherOutPointerMayBeNull) {
    Extracted smallOnly;
    Extract(IconFixturePath(), 1, smallOnly, false, true);
    EXPECT_EQ(smallOnly.result, S_OK);
    EXPECT_EQ(IdentifyImage(smallOnly.small).group, kGroupAtIndex[1]);

    Extracted largeOnly;
    Extract(IconFixturePath(), 2, largeOnly, true, false);
    EXPECT_EQ(largeOnly.result, S_OK);
    EXPECT_EQ(IdentifyImage(largeOnly.large).group, kGroupAtIndex[2]);

    // Neither: only whether the group exists.
    EXPECT_EQ(SHExtractIcon(IconFixturePath().c_str(), 0, nullptr, nullptr), S_OK);
    EXPECT_EQ(SHExtractIcon(IconFixturePath().c_str(), 3, nullptr, nullptr), E_FAIL);
}

// Past the last group the countdown does not reach zero; an index 3 beyond
// names integer id 1 if the countdown were taken for a name, one of 3 beyond
// id 2, and a negative one a wild pointer.
TEST(ExtractIcon, IndexThatNamesNoGroupFailsWithNullIcons) {
    for (int index : {3, 4, 5, 6, 1000, -1, -2, INT_MIN, INT_MAX}) {
        Extracted icons;
        Extract(IconFixturePath(), index, icons);
        EXPECT_EQ(icons.result, E_FAIL) << index;
        EXPECT_EQ(icons.large, nullptr) << index;
        EXPECT_EQ(icons.small, nullptr) << index;
    }
}

TEST(ExtractIcon, FileThatIsNoModuleOrHasNoIconsFails) {
    const std::wstring folder = vtls::test::ProgramFolder();
    const std::wstring notAModule = folder + L"\\vtls-not-a-module.txt";
    std::ofstream(notAModule.c_str()) << "plain text, no executable image\n";
    for (const std::wstring& path : {folder + L"\\no-such-module.dll", notAModule, folder + L"\\VantrelUi.dll",
                                     std::wstring()}) {
        Extracted icons;
        Extract(path, 0, icons);
        EXPECT_EQ(icons.result, E_FAIL);
        EXPECT_EQ(icons.large, nullptr);
        EXPECT_EQ(icons.small, nullptr);
    }
    DeleteFileW(notAModule.c_str());
    EXPECT_EQ(SHExtractIcon(nullptr, 0, nullptr, nullptr), E_FAIL);
}

// The large size and colour depth are read when the library is loaded: a fresh
// process shows the setting stored before it started.
TEST(ExtractIconAtAttach, LargeIconHasTheShellIconSizeReadAtLoad) {
    vtls::test::ShellIconSetting setting;
    const auto run = [] {
        const auto child = vtls::test::RunChild(L"vtls_probe.exe", L"extract-icon \"" + IconFixturePath() + L"\" 1");
        return child && child->exitCode == 0 ? vtls::test::ParseReport(child->output)
                                             : std::map<std::string, std::string>{};
    };
    setting.SetText(vtls::test::ShellIconSetting::kSize, L"48");
    setting.SetText(vtls::test::ShellIconSetting::kBpp, L"32");
    auto report = run();
    EXPECT_EQ(report["result"], "0x00000000");
    EXPECT_EQ(report["large"], "48 48 group 0 image 48 depth 32");
    EXPECT_EQ(report["small"], std::to_string(GetSystemMetrics(SM_CXSMICON)) + " " +
                                   std::to_string(GetSystemMetrics(SM_CYSMICON)) + " group 0 image 16 depth 32");

    setting.SetText(vtls::test::ShellIconSetting::kSize, L"16");
    setting.SetText(vtls::test::ShellIconSetting::kBpp, L"4");
    report = run();
    const std::string depth = vtls::test::RunningUnderWine() ? "32" : "4";
    EXPECT_EQ(report["large"], "16 16 group 0 image 16 depth " + depth);

    setting.RemoveKey();
    report = run();
    const int system = GetSystemMetrics(SM_CXICON);
    EXPECT_EQ(report["large"], std::to_string(system) + " " + std::to_string(system) + " group 0 image " +
                                   std::to_string(system) + " depth " + depth);
}

}  // namespace
