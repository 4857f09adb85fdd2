#include "calc.h"

#include "test_names.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

namespace {

float from_bits(std::uint32_t bits)
{
  return std::bit_cast<float>(bits);
}

struct DivideCase {
  const char* name;
  float (*divide)(float, float);
  float p;
  float q;
  std::uint32_t expected_bits;
};

constexpr float two_126 = 8.507059e37f;       // 0x7E800000
const float two_127 = from_bits(0x7F000000u); // 2^127
const float infinity = std::numeric_limits<float>::infinity();
const float quiet_nan = std::numeric_limits<float>::quiet_NaN();

const DivideCase divide_cases[] = {
    {"fast: large divisor flushes to +0", fast_divide, 1.0f, two_127, 0x00000000u},
    {"fast: large divisor keeps the sign of the quotient", fast_divide, -1.0f, two_127, 0x80000000u},
    {"fast: negative large divisor", fast_divide, 1.0f, -two_127, 0x80000000u},
    {"fast: large dividend over large divisor still flushes", fast_divide, two_127, two_127, 0x00000000u},
    {"fast: infinite dividend over large divisor is the NaN", fast_divide, infinity, two_127, 0xFFC00000u},
    {"fast: NaN dividend over large divisor is the NaN", fast_divide, quiet_nan, two_127, 0xFFC00000u},
    {"fast: 2^126 itself takes the plain quotient", fast_divide, 3.0f, two_126, 0x01400000u},
    {"fast: plain quotient rounds once", fast_divide, 4.0f, from_bits(0x3F82A7F7u), 0x407ACBB7u},
    {"accurate: scales a large divisor into range (subnormal result)", accurate_divide, 1.0f, two_127, 0x00400000u},
    {"accurate: 2^127 / 2^127 is one", accurate_divide, two_127, two_127, 0x3F800000u},
    {"accurate: 2^126 is not scaled", accurate_divide, 3.0f, two_126, 0x01400000u},
    {"accurate: the kernel's case", accurate_divide, 4.0f, 1.25f, 0x404CCCCDu},
};

class DivideTest : public testing::TestWithParam<DivideCase> {};

TEST_P(DivideTest, GivesTheExactBits)
{
  const DivideCase& c = GetParam();
  EXPECT_EQ(std::bit_cast<std::uint32_t>(c.divide(c.p, c.q)), c.expected_bits) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Table, DivideTest, testing::ValuesIn(divide_cases),
                         [](const auto& info) { return test_name(info.param.name); });

} // namespace
