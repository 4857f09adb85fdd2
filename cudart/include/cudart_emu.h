// Emulated CUDA runtime: the device-emulation configuration of the runtime
// API generation that still had cudaConfigureCall / cudaSetupArgument /
// cudaLaunch. Kernels run on the host CPU, once per thread position.
//
// Device memory lives in an address space of its own: a device address is a
// 32-bit offset into it (never 0, 256-byte aligned unless CUDART_EMU_CHECK=end
// puts allocations against the guard page after them), carried in a void* as the
// API demands. Host code must not dereference it; device code turns it into a
// host pointer with __cudaEmuHostPointer or __cudaEmuDeviceBase.
#ifndef CUDART_EMU_H
#define CUDART_EMU_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(CUDART_EMU_BUILDING)
#define CUDART_API __declspec(dllexport)
#else
#define CUDART_API __declspec(dllimport)
#endif
#else
#define CUDART_API __attribute__((visibility("default")))
#endif

// C++ gives the enums int as their type, as C does, so that any status or
// copy kind a caller passes is a value of the type and can be refused.
#ifdef __cplusplus
#define CUDART_ENUM_TYPE : int
#else
#define CUDART_ENUM_TYPE
#endif

#ifdef __cplusplus
extern "C" {
#endif

enum cudaError CUDART_ENUM_TYPE {
  cudaSuccess = 0,
  cudaErrorMissingConfiguration = 1,
  cudaErrorMemoryAllocation = 2,
  cudaErrorLaunchFailure = 4,
  cudaErrorInvalidDeviceFunction = 8,
  cudaErrorInvalidConfiguration = 9,
  cudaErrorInvalidValue = 11,
  cudaErrorInvalidDevicePointer = 17,
  cudaErrorInvalidMemcpyDirection = 21
};
typedef enum cudaError cudaError_t;

enum cudaMemcpyKind CUDART_ENUM_TYPE {
  cudaMemcpyHostToHost = 0,
  cudaMemcpyHostToDevice = 1,
  cudaMemcpyDeviceToHost = 2,
  cudaMemcpyDeviceToDevice = 3
};

typedef int cudaStream_t;

struct uint3 {
  unsigned int x, y, z;
};

struct dim3 {
  unsigned int x, y, z;
#ifdef __cplusplus
  constexpr dim3(unsigned int vx = 1, unsigned int vy = 1, unsigned int vz = 1) : x(vx), y(vy), z(vz) {}
#endif
};

// Memory.
CUDART_API cudaError_t cudaMalloc(void** devPtr, size_t size);
CUDART_API cudaError_t cudaFree(void* devPtr);
CUDART_API cudaError_t cudaMemcpy(void* dst, const void* src, size_t count, enum cudaMemcpyKind kind);

// Launch: configure, place the arguments, launch by host key.
CUDART_API cudaError_t cudaConfigureCall(struct dim3 gridDim, struct dim3 blockDim, size_t sharedMem,
                                         cudaStream_t stream);
CUDART_API cudaError_t cudaSetupArgument(const void* arg, size_t size, size_t offset);
CUDART_API cudaError_t cudaLaunch(const char* entry);

// Errors: every failing call records its status; this returns and clears it.
CUDART_API cudaError_t cudaGetLastError(void);
CUDART_API const char* cudaGetErrorString(cudaError_t error);

// Module and kernel registration, called by a kernel module's start-up code.
CUDART_API void** __cudaRegisterFatBinary(void* fatCubin);
CUDART_API void __cudaUnregisterFatBinary(void** fatCubinHandle);
CUDART_API void __cudaRegisterFunction(void** fatCubinHandle, const char* hostFun, char* deviceFun,
                                       const char* deviceName, int thread_limit, struct uint3* tid, struct uint3* bid,
                                       struct dim3* bDim, struct dim3* gDim, int* wSize);

// Device code's view of a device address: the host pointer it stands for.
CUDART_API void* __cudaEmuHostPointer(unsigned int address);
// The host address of device address 0: null until the first allocation, fixed
// from then on. Device code adds an address to it to translate the address
// without a call into the library, once per thread position. Read it only.
CUDART_API extern char* __cudaEmuDeviceBase;

// The device entry a kernel registers: it receives the launch argument block.
typedef void (*cudaEmuDeviceEntry)(const void* argumentBlock);

#ifdef __cplusplus
}
#endif

#endif
