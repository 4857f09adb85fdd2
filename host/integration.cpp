#include "integration.h"

// Every operation is carried out in double precision; results are rounded to
// binary32 only where a cast to float says so.

int generate_midpoints(float* slots, int capacity)
{
  const float h = static_cast<float>((upper_limit - lower_limit) / 10000.0);
  float x = static_cast<float>(lower_limit + 0.5 * h);
  int stored = 0;
  // Two tests, not one combined condition, which the compiler makes branch-free
  // and dearer per midpoint.
  for (; stored < capacity; ++stored) {
    if (!(x < upper_limit))
      break;
    slots[stored] = x;
    x = static_cast<float>(static_cast<double>(x) + h);
  }
  return stored;
}

float sum_samples(const float* slots, int count)
{
  float s = 0.0f;
  for (int i = 0; i < count; ++i)
    s = static_cast<float>(static_cast<double>(slots[i]) + s);
  return s;
}

float corrected_mean(float sum)
{
  const float mean = static_cast<float>(static_cast<double>(sum) / 10000.0);
  return static_cast<float>(mean - correction);
}
