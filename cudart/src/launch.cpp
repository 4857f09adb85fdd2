// Kernel registration and launch. A launch runs the registered device entry
// once per thread position, in order, on the calling thread.
#include "runtime_state.h"

#include <cstring>

namespace {

struct Module {
  void* image; // first member: a module handle points at it
  bool live;
};

struct Function {
  void** module;
  const char* key;
  const char* name; // as registered: module start-up code passes a literal
  cudaEmuDeviceEntry entry;
  uint3* thread_index;
  uint3* block_index;
  dim3* block_extent;
  dim3* grid_extent;
  int* warp_size;
};

struct Configuration {
  dim3 grid;
  dim3 block;
  unsigned char arguments[cudart::argument_block_size];
};

// Fixed tables rather than containers keep the runtime library off the C++
// runtime library, whose loading would cost a short program more than its work.
constexpr int max_modules = 64;
constexpr int max_functions = 256;
Module modules[max_modules];
Function functions[max_functions];
int function_count = 0;
Configuration pending;
bool configured = false;

// Where the context variables a kernel did not register are written, so the
// loop over thread positions needs no tests.
uint3 unregistered_index;
uint3 unregistered_block_index; // apart, for a fault report
dim3 unregistered_extent;
int unregistered_warp_size;

bool valid_configuration(dim3 grid, dim3 block, size_t shared_memory)
{
  using namespace cudart;
  if (block.x == 0 || block.y == 0 || block.z == 0 || grid.x == 0 || grid.y == 0 || grid.z == 0)
    return false;
  if (block.x > max_block_x || block.y > max_block_y || block.z > max_block_z)
    return false;
  // Each extent is at most 512 here, so the product cannot overflow.
  if (std::uint64_t{block.x} * block.y * block.z > max_threads_per_block)
    return false;
  return grid.x <= max_grid_x && grid.y <= max_grid_y && grid.z <= max_grid_z && shared_memory <= max_shared_memory;
}

Module* find_module(void** handle)
{
  for (Module& module : modules)
    if (module.live && reinterpret_cast<void**>(&module.image) == handle)
      return &module;
  return nullptr;
}

Function* find_function(const char* key)
{
  for (int i = 0; i < function_count; ++i)
    if (functions[i].key == key)
      return &functions[i];
  return nullptr;
}

} // namespace

extern "C" void** __cudaRegisterFatBinary(void* fatCubin)
{
  for (Module& module : modules) {
    if (!module.live) {
      module = Module{fatCubin, true};
      return &module.image;
    }
  }
  return nullptr; // every slot taken: its functions are refused
}

extern "C" void __cudaUnregisterFatBinary(void** fatCubinHandle)
{
  Module* module = find_module(fatCubinHandle);
  if (module == nullptr)
    return;
  int kept = 0;
  for (int i = 0; i < function_count; ++i)
    if (functions[i].module != fatCubinHandle)
      functions[kept++] = functions[i];
  function_count = kept;
  module->live = false;
}

extern "C" void __cudaRegisterFunction(void** fatCubinHandle, const char* hostFun, char* deviceFun,
                                       const char* deviceName, int /*thread_limit*/, uint3* tid, uint3* bid, dim3* bDim,
                                       dim3* gDim, int* wSize)
{
  if (find_module(fatCubinHandle) == nullptr || hostFun == nullptr || deviceFun == nullptr)
    return;
  const Function function{fatCubinHandle,
                          hostFun,
                          deviceName != nullptr ? deviceName : "?",
                          reinterpret_cast<cudaEmuDeviceEntry>(deviceFun),
                          tid,
                          bid,
                          bDim,
                          gDim,
                          wSize};
  if (Function* existing = find_function(hostFun))
    *existing = function;
  else if (function_count < max_functions)
    functions[function_count++] = function;
}

extern "C" cudaError_t cudaConfigureCall(dim3 gridDim, dim3 blockDim, size_t sharedMem, cudaStream_t stream)
{
  cudaError_t status = cudaSuccess;
  if (cudart::injected_fault(cudart::Call::ConfigureCall, &status))
    return status;
  if (!valid_configuration(gridDim, blockDim, sharedMem))
    return cudart::fail(cudaErrorInvalidConfiguration);
  if (stream != 0) // the emulation has only the default stream
    return cudart::fail(cudaErrorInvalidValue);
  pending.grid = gridDim;
  pending.block = blockDim;
  std::memset(pending.arguments, 0, sizeof pending.arguments);
  configured = true;
  return cudaSuccess;
}

extern "C" cudaError_t cudaSetupArgument(const void* arg, size_t size, size_t offset)
{
  cudaError_t status = cudaSuccess;
  if (cudart::injected_fault(cudart::Call::SetupArgument, &status))
    return status;
  if (!configured)
    return cudart::fail(cudaErrorMissingConfiguration);
  if (offset > sizeof pending.arguments || size > sizeof pending.arguments - offset || (arg == nullptr && size > 0))
    return cudart::fail(cudaErrorInvalidValue);
  if (size > 0)
    std::memcpy(pending.arguments + offset, arg, size);
  return cudaSuccess;
}

extern "C" cudaError_t cudaLaunch(const char* entry)
{
  cudaError_t status = cudaSuccess;
  if (cudart::injected_fault(cudart::Call::Launch, &status))
    return status;
  if (!configured)
    return cudart::fail(cudaErrorMissingConfiguration);
  const Function* found = entry == nullptr ? nullptr : find_function(entry);
  if (found == nullptr)
    return cudart::fail(cudaErrorInvalidDeviceFunction);

  // The launch consumes its configuration and arguments before running. The
  // device entry gets the arguments inside this copy, so the copy stays in
  // memory and the extents are copied from it in whole words.
  const Configuration launch = pending;
  const Function function = *found;
  configured = false;

  // Variables the kernel did not register go to scratch, so the loop tests
  // nothing. Each is written before every call: the kernel may change it.
  uint3* const thread_index = function.thread_index != nullptr ? function.thread_index : &unregistered_index;
  uint3* const block_index = function.block_index != nullptr ? function.block_index : &unregistered_block_index;
  dim3* const block_extent = function.block_extent != nullptr ? function.block_extent : &unregistered_extent;
  dim3* const grid_extent = function.grid_extent != nullptr ? function.grid_extent : &unregistered_extent;
  int* const warp_size = function.warp_size != nullptr ? function.warp_size : &unregistered_warp_size;
  // A fault report reads the position where the loop writes it.
  cudart::current_launch = cudart::LaunchSite{function.name, block_index, thread_index};
  cudart::watch_device_faults();
  // The positions run x fastest, then the block's y and z, then the grid's x and y.
  uint3 thread{0, 0, 0};
  uint3 block{0, 0, 0};
  for (;;) {
    *thread_index = thread;
    *block_index = block;
    *block_extent = launch.block;
    *grid_extent = launch.grid;
    *warp_size = cudart::warp_size;
    function.entry(launch.arguments);
    if (++thread.x < launch.block.x)
      continue;
    thread.x = 0;
    if (++thread.y < launch.block.y)
      continue;
    thread.y = 0;
    if (++thread.z < launch.block.z)
      continue;
    thread.z = 0;
    if (++block.x < launch.grid.x)
      continue;
    block.x = 0;
    if (++block.y < launch.grid.y)
      continue;
    break;
  }
  cudart::current_launch.kernel = nullptr;
  return cudaSuccess;
}
