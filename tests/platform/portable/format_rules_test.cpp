#include "platform/portable/format_rules.h"

#include <gtest/gtest.h>

namespace vtls::frame {
namespace {

constexpr std::uint32_t kId = 0xC123;

struct CheckCase {
    const char* what;
    FormatEtcFields fields;
    result::Code expected;
};

class CheckFormatEtcTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckFormatEtcTest, AppliesTheTestsInOrder) {
    const CheckCase& c = GetParam();
    EXPECT_EQ(CheckFormatEtc(kId, c.fields), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheckFormatEtcTest,
    ::testing::Values(
        CheckCase{"exact", {0xC123, 1, -1, 1}, result::kOk},
        CheckCase{"global memory among other media", {0xC123, 1, -1, 1 | 4}, result::kOk},
        CheckCase{"stream only", {0xC123, 1, -1, 4}, result::kDvTymed},
        CheckCase{"no medium", {0xC123, 1, -1, 0}, result::kDvTymed},
        CheckCase{"aspect is not a bit set", {0xC123, 1 | 2, -1, 1}, result::kDvDvaspect},
        CheckCase{"aspect before index", {0xC123, 2, 0, 1}, result::kDvDvaspect},
        CheckCase{"index", {0xC123, 1, 0, 1}, result::kDvLindex},
        CheckCase{"format before everything", {0xC124, 2, 0, 4}, result::kDvFormatEtc},
        CheckCase{"medium before aspect", {0xC123, 2, 0, 4}, result::kDvTymed}));

TEST(CheckFormatEtc, ComparesTheFormatWidenedWithoutSign) {
    // 0xFFFF must not turn into -1 or match a 32-bit id that only agrees in its low bits.
    EXPECT_EQ(CheckFormatEtc(0xFFFF, {0xFFFF, 1, -1, 1}), result::kOk);
    EXPECT_EQ(CheckFormatEtc(0x1FFFF, {0xFFFF, 1, -1, 1}), result::kDvFormatEtc);
    EXPECT_EQ(CheckFormatEtc(0xFFFFFFFF, {0xFFFF, 1, -1, 1}), result::kDvFormatEtc);
}

TEST(CheckFormatEtc, TextFormatRejectsUnicodeText) {
    EXPECT_EQ(CheckFormatEtc(kClipboardText, {1, 1, -1, 1}), result::kOk);
    EXPECT_EQ(CheckFormatEtc(kClipboardText, {13, 1, -1, 1}), result::kDvFormatEtc);
}

}  // namespace
}  // namespace vtls::frame
