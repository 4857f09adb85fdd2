// The numerical steps of the integration, apart from the device and the console.
#ifndef HOST_INTEGRATION_H
#define HOST_INTEGRATION_H

#include <cstddef>

inline constexpr int sample_count = 10000;
inline constexpr std::size_t buffer_bytes = sample_count * sizeof(float);
inline constexpr double lower_limit = 0.0;
inline constexpr double upper_limit = 1.0;
// Compensates the error of the accumulated single-precision midpoints.
inline constexpr double correction = 0.0001958;

// Fills slots with midpoints from the first one upward while they stay below
// the upper limit, at most `capacity` of them; returns how many it stored.
int generate_midpoints(float* slots, int capacity);
// Sums in ascending order, rounding the running sum to binary32 each time.
float sum_samples(const float* slots, int count);
// The mean of a sum of sample_count values, less the correction.
float corrected_mean(float sum);

#endif
