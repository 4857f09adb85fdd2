// The program: integrates 4 / (1 + x^2) over [0, 1] by the midpoint rule, the
// integrand evaluated by the kernel calc, and prints the result in Russian.
#include "calc_binding.h"
#include "console.h"
#include "cudart_emu.h"
#include "integration.h"
#include "texts.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// Writes out the standard streams; output that could not be written fails the run.
int finish(int status)
{
  if (console_finish())
    return status;
  console_printf(stderr, failure_format, step_output, std::strerror(errno));
  std::fflush(stderr);
  return EXIT_FAILURE;
}

// Reports a failed step, waits like a normal run, releases what is held.
int fail(const char* step, const char* reason, float* host_samples, float* device_samples)
{
  console_printf(stderr, failure_format, step, reason);
  console_pause();
  std::free(host_samples);
  cudaFree(device_samples);
  return finish(EXIT_FAILURE);
}

int fail(const char* step, cudaError_t status, float* host_samples, float* device_samples)
{
  return fail(step, cudaGetErrorString(status), host_samples, device_samples);
}

} // namespace

bool init_device()
{
  console_printf(stderr, "%s", emulation_notice);
  return true;
}

int main()
{
  console_select_locale();
  init_device();

  float* host_samples = static_cast<float*>(std::malloc(buffer_bytes));
  if (host_samples == nullptr)
    return fail(step_host_allocation, reason_out_of_memory, nullptr, nullptr);
  float* device_samples = nullptr;
  cudaError_t status = cudaMalloc(reinterpret_cast<void**>(&device_samples), buffer_bytes);
  if (status != cudaSuccess)
    return fail(step_device_allocation, status, host_samples, nullptr);

  // The generator stops short of the last slots; they enter the sum as 0.0.
  const int generated = generate_midpoints(host_samples, sample_count);
  std::fill(host_samples + generated, host_samples + sample_count, 0.0f);

  status = cudaMemcpy(device_samples, host_samples, buffer_bytes, cudaMemcpyHostToDevice);
  if (status != cudaSuccess)
    return fail(step_copy_to_device, status, host_samples, device_samples);

  status = cudaConfigureCall(dim3(2500, 1, 1), dim3(4, 1, 1), 0, 0);
  if (status != cudaSuccess)
    return fail(step_configuration, status, host_samples, device_samples);
  calc_stub(device_samples, sample_count);
  status = cudaGetLastError();
  if (status != cudaSuccess)
    return fail(step_launch, status, host_samples, device_samples);

  status = cudaMemcpy(host_samples, device_samples, buffer_bytes, cudaMemcpyDeviceToHost);
  if (status != cudaSuccess)
    return fail(step_copy_to_host, status, host_samples, device_samples);

  const float result = corrected_mean(sum_samples(host_samples, sample_count));
  console_printf(stdout, result_format, static_cast<double>(result));

  console_pause();
  std::free(host_samples);
  cudaFree(device_samples);
  return finish(EXIT_SUCCESS);
}
