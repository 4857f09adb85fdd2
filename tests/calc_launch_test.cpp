// calc launched through its binding on the emulated runtime, as the program does.
#include "calc.h"
#include "calc_binding.h"
#include "integration.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// calc's value for one element, worked out without any launch.
float integrand(float x)
{
  return accurate_divide(4.0f, static_cast<float>(static_cast<double>(x) * x + 1.0));
}

TEST(CalcLaunchTest, ReplacesEveryElementExactlyOnce)
{
  std::vector<float> samples(sample_count, 0.0f);
  generate_midpoints(samples.data(), sample_count);
  float* device = nullptr;
  ASSERT_EQ(cudaMalloc(reinterpret_cast<void**>(&device), buffer_bytes), cudaSuccess);
  ASSERT_EQ(cudaMemcpy(device, samples.data(), buffer_bytes, cudaMemcpyHostToDevice), cudaSuccess);
  ASSERT_EQ(cudaConfigureCall(dim3(2500), dim3(4), 0, 0), cudaSuccess);
  calc_stub(device, sample_count);
  ASSERT_EQ(cudaGetLastError(), cudaSuccess);
  std::vector<float> values(sample_count);
  ASSERT_EQ(cudaMemcpy(values.data(), device, buffer_bytes, cudaMemcpyDeviceToHost), cudaSuccess);
  ASSERT_EQ(cudaFree(device), cudaSuccess);

  // A missed element keeps its midpoint, a twice-visited one is transformed twice.
  for (int i = 0; i < sample_count; ++i)
    ASSERT_EQ(values[i], integrand(samples[i])) << "element " << i;
}

TEST(CalcLaunchTest, LaunchWiderThanTheArrayTouchesNothingPastIt)
{
  const float guard_value = 0.25f;
  std::vector<float> samples(8, guard_value);
  float* device = nullptr;
  ASSERT_EQ(cudaMalloc(reinterpret_cast<void**>(&device), sizeof(float) * 8), cudaSuccess);
  ASSERT_EQ(cudaMemcpy(device, samples.data(), sizeof(float) * 8, cudaMemcpyHostToDevice), cudaSuccess);
  ASSERT_EQ(cudaConfigureCall(dim3(2), dim3(4), 0, 0), cudaSuccess);
  calc_stub(device, 5);
  ASSERT_EQ(cudaMemcpy(samples.data(), device, sizeof(float) * 8, cudaMemcpyDeviceToHost), cudaSuccess);
  cudaFree(device);
  for (int i = 0; i < 8; ++i)
    EXPECT_EQ(samples[i], i < 5 ? integrand(guard_value) : guard_value) << i;
}

} // namespace
