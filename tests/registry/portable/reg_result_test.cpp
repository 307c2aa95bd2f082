#include "registry/portable/reg_result.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace vtls::registry {
namespace {

struct MappingCase {
    std::uint32_t error;
    std::uint32_t expected;
};

class HResultFromRegErrorTest : public ::testing::TestWithParam<MappingCase> {};

TEST_P(HResultFromRegErrorTest, MapsToTheFixedSet) {
    EXPECT_EQ(static_cast<std::uint32_t>(HResultFromRegError(GetParam().error)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(KnownAndUnknownCodes, HResultFromRegErrorTest,
                         ::testing::Values(MappingCase{0, 0x00000000u},     // success
                                           MappingCase{2, 0x80030002u},     // file not found
                                           MappingCase{5, 0x80030005u},     // access denied
                                           MappingCase{80, 0x80030050u},    // file exists
                                           MappingCase{1018, 0x80030002u},  // key deleted
                                           MappingCase{234, 0x8000FFFFu},   // more data
                                           MappingCase{259, 0x8000FFFFu},   // no more items
                                           MappingCase{53, 0x8000FFFFu},    // network path
                                           MappingCase{1021, 0x8000FFFFu},  // child of volatile
                                           MappingCase{3, 0x8000FFFFu},     // path not found
                                           MappingCase{1, 0x8000FFFFu},
                                           MappingCase{0xFFFFFFFFu, 0x8000FFFFu}));

}  // namespace
}  // namespace vtls::registry
