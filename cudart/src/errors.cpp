#include "runtime_state.h"

namespace {

cudaError_t last_error = cudaSuccess;

} // namespace

namespace cudart {

cudaError_t fail(cudaError_t status)
{
  last_error = status;
  return status;
}

} // namespace cudart

extern "C" cudaError_t cudaGetLastError(void)
{
  const cudaError_t status = last_error;
  last_error = cudaSuccess;
  return status;
}

extern "C" const char* cudaGetErrorString(cudaError_t error)
{
  switch (error) {
  case cudaSuccess:
    return "no error";
  case cudaErrorMissingConfiguration:
    return "__global__ function call is not configured";
  case cudaErrorMemoryAllocation:
    return "out of memory";
  case cudaErrorLaunchFailure:
    return "unspecified launch failure";
  case cudaErrorInvalidDeviceFunction:
    return "invalid device function";
  case cudaErrorInvalidConfiguration:
    return "invalid configuration argument";
  case cudaErrorInvalidValue:
    return "invalid argument";
  case cudaErrorInvalidDevicePointer:
    return "invalid device pointer";
  case cudaErrorInvalidMemcpyDirection:
    return "invalid copy direction for memcpy";
  }
  return "unknown error";
}
