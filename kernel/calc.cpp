#include "calc.h"

#include <bit>
#include <cmath>
#include <cstdint>

uint3 threadIdx;
uint3 blockIdx;
dim3 blockDim;
dim3 gridDim;
int warpSize;

namespace {

// Every operation is carried out in double precision; results are rounded to
// binary32 only where a cast to float says so.
constexpr double two_to_126 = 8.507059173023462e37;
constexpr double largest_float = 3.4028234663852886e38;
constexpr std::uint32_t negative_quiet_nan = 0xFFC00000u;

} // namespace

float fast_divide(float p, float q)
{
  if (std::fabs(static_cast<double>(q)) > two_to_126) {
    if (std::fabs(static_cast<double>(p)) <= largest_float)
      return static_cast<float>(static_cast<double>(p) / q / largest_float / largest_float);
    return std::bit_cast<float>(negative_quiet_nan);
  }
  return static_cast<float>(static_cast<double>(p) / q);
}

float accurate_divide(float p, float q)
{
  // The common case tested once: fast_divide would test it again.
  if (!(std::fabs(static_cast<double>(q)) > two_to_126))
    return static_cast<float>(static_cast<double>(p) / q);
  p = static_cast<float>(static_cast<double>(p) * 0.25);
  q = static_cast<float>(static_cast<double>(q) * 0.25);
  return fast_divide(p, q);
}

void calc(float* a, int n)
{
  const int idx = static_cast<int>(blockDim.x * blockIdx.x + threadIdx.x);
  if (idx < n) {
    const double x = a[idx];
    // The product is exact in double precision; only the sum is rounded.
    const float d = static_cast<float>(x * x + 1.0);
    a[idx] = accurate_divide(4.0f, d);
  }
}
