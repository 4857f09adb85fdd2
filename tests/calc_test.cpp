#include "calc.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>

namespace {

std::uint32_t bits(float value)
{
  return std::bit_cast<std::uint32_t>(value);
}

// Runs calc as the thread position (block, thread) of blocks of `width`.
void run_position(float* a, int n, unsigned block, unsigned thread, unsigned width = 1)
{
  blockDim = dim3(width, 1, 1);
  blockIdx = uint3{block, 0, 0};
  threadIdx = uint3{thread, 0, 0};
  calc(a, n);
}

struct CalcCase {
  std::uint32_t x_bits;
  std::uint32_t result_bits;
};

class CalcValueTest : public testing::TestWithParam<CalcCase> {};

TEST_P(CalcValueTest, ReplacesTheElementByTheIntegrand)
{
  float x = std::bit_cast<float>(GetParam().x_bits);
  run_position(&x, 1, 0, 0);
  EXPECT_EQ(bits(x), GetParam().result_bits) << std::hex << GetParam().x_bits;
}

INSTANTIATE_TEST_SUITE_P(Midpoints, CalcValueTest,
                         testing::Values(CalcCase{0x00000000u, 0x40800000u}, // 0.0 -> 4.0
                                         CalcCase{0x3F000000u, 0x404CCCCDu}, // 0.5
                                         CalcCase{0x3F800000u, 0x40000000u}, // 1.0 -> 2.0
                                         CalcCase{0x3851B717u, 0x40800000u}, // first midpoint -> exactly 4.0
                                         CalcCase{0x3F7FF9AEu, 0x40000329u}, // last midpoint
                                         // Slot 1440: rounding x*x before adding 1 would give 0x407ACBB5.
                                         CalcCase{0x3E138255u, 0x407ACBB7u}),
                         [](const auto& info) {
                           char name[16];
                           std::snprintf(name, sizeof name, "x_%08X", static_cast<unsigned>(info.param.x_bits));
                           return std::string(name);
                         });

TEST(CalcTest, IndexesByBlockAndThread)
{
  float a[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  run_position(a, 8, 1, 2, 4); // idx = 4 * 1 + 2
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(a[i], i == 6 ? 4.0f : 0.0f) << i;
}

TEST(CalcTest, PositionsAtOrPastTheCountLeaveTheArrayAlone)
{
  float a[4] = {0.5f, 0.5f, 0.5f, 0.5f};
  run_position(a, 2, 0, 2, 4);  // idx == n
  run_position(a, 2, 0, 3, 4);  // idx > n
  run_position(a, -1, 0, 0, 4); // negative count
  for (float value : a)
    EXPECT_EQ(value, 0.5f);
}

} // namespace
