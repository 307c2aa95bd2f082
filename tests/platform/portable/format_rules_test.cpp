#include "platform/portable/format_rules.h"

#include <gtest/gtest.h>

namespace vtls::frame {
namespace {

constexpr std::uint32_t kId = 0xC123;
// The platform's values (winerror.h) written out: the library's own names for
// them are part of what is checked here.
constexpr result::Code kOk = 0;
constexpr result::Code kDvFormatEtc = static_cast<result::Code>(0x80040064u);
constexpr result::Code kDvLindex = static_cast<result::Code>(0x80040068u);
constexpr result::Code kDvTymed = static_cast<result::Code>(0x80040069u);
constexpr result::Code kDvDvaspect = static_cast<result::Code>(0x8004006Bu);

TEST(CheckFormatEtc, AppliesTheTestsInOrder) {
    const struct {
        const char* what;
        FormatEtcFields fields;
        result::Code expected;
    } cases[] = {
        {"exact", {0xC123, 1, -1, 1}, kOk},
        {"global memory among other media", {0xC123, 1, -1, 1 | 4}, kOk},
        {"stream only", {0xC123, 1, -1, 4}, kDvTymed},
        {"no medium", {0xC123, 1, -1, 0}, kDvTymed},
        {"aspect is not a bit set", {0xC123, 1 | 2, -1, 1}, kDvDvaspect},
        {"aspect before index", {0xC123, 2, 0, 1}, kDvDvaspect},
        {"index", {0xC123, 1, 0, 1}, kDvLindex},
        {"format before everything", {0xC124, 2, 0, 4}, kDvFormatEtc},
        {"medium before aspect", {0xC123, 2, 0, 4}, kDvTymed},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(CheckFormatEtc(kId, c.fields), c.expected) << c.what;
    }
}

TEST(CheckFormatEtc, ComparesTheFormatWidenedWithoutSign) {
    // 0xFFFF must not turn into -1 or match a 32-bit id that only agrees in its low bits.
    EXPECT_EQ(CheckFormatEtc(0xFFFF, {0xFFFF, 1, -1, 1}), kOk);
    EXPECT_EQ(CheckFormatEtc(0x1FFFF, {0xFFFF, 1, -1, 1}), kDvFormatEtc);
    EXPECT_EQ(CheckFormatEtc(0xFFFFFFFF, {0xFFFF, 1, -1, 1}), kDvFormatEtc);
}

TEST(CheckFormatEtc, TextFormatRejectsUnicodeText) {
    EXPECT_EQ(CheckFormatEtc(kClipboardText, {1, 1, -1, 1}), kOk);
    EXPECT_EQ(CheckFormatEtc(kClipboardText, {13, 1, -1, 1}), kDvFormatEtc);
}

}  // namespace
}  // namespace vtls::frame
