#include "calc.h"
#include "integration.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

std::uint32_t bits(float value)
{
  return std::bit_cast<std::uint32_t>(value);
}

constexpr std::uint32_t sentinel_bits = 0x7FC01234u; // a NaN no step produces

std::vector<float> sentinel_buffer()
{
  return std::vector<float>(sample_count, std::bit_cast<float>(sentinel_bits));
}

std::string seven_decimals(float value)
{
  char text[32];
  std::snprintf(text, sizeof text, "%0.7f", static_cast<double>(value));
  return text;
}

// The samples the kernel hands back: calc applied to each element.
std::vector<float> integrand_values(std::vector<float> samples)
{
  blockDim = dim3(1, 1, 1);
  threadIdx = uint3{0, 0, 0};
  for (unsigned i = 0; i < samples.size(); ++i) {
    blockIdx = uint3{i, 0, 0};
    calc(samples.data(), static_cast<int>(samples.size()));
  }
  return samples;
}

std::vector<float> midpoints_with_zero_tail()
{
  std::vector<float> samples(sample_count, 0.0f);
  generate_midpoints(samples.data(), sample_count);
  return samples;
}

TEST(GenerateMidpointsTest, StoresTheMidpointsBelowOneAndNoMore)
{
  std::vector<float> slots = sentinel_buffer();
  ASSERT_EQ(generate_midpoints(slots.data(), sample_count), 9999);
  EXPECT_EQ(bits(slots[0]), 0x3851B717u);
  EXPECT_EQ(slots[1], 0.00014999999257270247f);
  EXPECT_EQ(bits(slots[9998]), 0x3F7FF9AEu);
  EXPECT_EQ(bits(slots[9999]), sentinel_bits);
}

TEST(GenerateMidpointsTest, StopsAtTheCapacity)
{
  std::vector<float> slots = sentinel_buffer();
  ASSERT_EQ(generate_midpoints(slots.data(), 10), 10);
  EXPECT_EQ(bits(slots[10]), sentinel_bits);
}

TEST(SumTest, RoundsTheRunningSumToSinglePrecisionAfterEachAddition)
{
  const std::vector<float> values = integrand_values(midpoints_with_zero_tail());
  EXPECT_EQ(values[9999], 4.0f);
  const float sum = sum_samples(values.data(), sample_count);
  EXPECT_EQ(bits(sum), 0x46F573C5u);
  const float result = corrected_mean(sum);
  EXPECT_EQ(bits(result), 0x40490FDBu); // the binary32 value nearest pi
  EXPECT_EQ(seven_decimals(result), "3.1415927");
}

// What the printed digits would be had a step been done otherwise.
TEST(SumTest, OtherSummationsPrintOtherDigits)
{
  const std::vector<float> values = integrand_values(midpoints_with_zero_tail());

  double wide_sum = 0.0;
  for (float value : values)
    wide_sum += value;
  const float wide_mean = static_cast<float>(wide_sum / 10000.0);
  EXPECT_EQ(seven_decimals(static_cast<float>(wide_mean - correction)), "3.1415918");

  // Leaving out the 4.0 of the last slot.
  EXPECT_EQ(seven_decimals(corrected_mean(sum_samples(values.data(), 9999))), "3.1411927");

  // The midpoints themselves, as when the kernel never ran.
  const std::vector<float> midpoints = midpoints_with_zero_tail();
  const float sum = sum_samples(midpoints.data(), sample_count);
  EXPECT_EQ(sum, 4999.033203125f);
  EXPECT_EQ(bits(corrected_mean(sum)), 0x3EFFD9AAu);
  EXPECT_EQ(seven_decimals(corrected_mean(sum)), "0.4997075");
}

} // namespace
