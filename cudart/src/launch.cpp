// Kernel registration and launch. A launch runs the registered device entry
// once per thread position, in order, on the calling thread.
#include "runtime_state.h"

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

struct Module {
  void* image; // first member: a module handle points at it
};

struct Function {
  void** module;
  const char* key;
  const char* name; // kept in kernel_names
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

std::vector<Module*> modules;
// Every name registered, kept to the end: a report may name a kernel that
// unregistered itself while it ran.
std::set<std::string> kernel_names;
std::vector<Function> functions;
Configuration pending;
bool configured = false;

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
  for (Module* module : modules)
    if (reinterpret_cast<void**>(&module->image) == handle)
      return module;
  return nullptr;
}

} // namespace

extern "C" void** __cudaRegisterFatBinary(void* fatCubin)
{
  Module* module = new Module{fatCubin};
  modules.push_back(module);
  return &module->image;
}

extern "C" void __cudaUnregisterFatBinary(void** fatCubinHandle)
{
  Module* module = find_module(fatCubinHandle);
  if (module == nullptr)
    return;
  std::erase_if(functions, [&](const Function& f) { return f.module == fatCubinHandle; });
  std::erase(modules, module);
  delete module;
}

extern "C" void __cudaRegisterFunction(void** fatCubinHandle, const char* hostFun, char* deviceFun,
                                       const char* deviceName, int /*thread_limit*/, uint3* tid, uint3* bid, dim3* bDim,
                                       dim3* gDim, int* wSize)
{
  if (find_module(fatCubinHandle) == nullptr || hostFun == nullptr || deviceFun == nullptr)
    return;
  const Function function{fatCubinHandle,
                          hostFun,
                          kernel_names.emplace(deviceName != nullptr ? deviceName : "?").first->c_str(),
                          reinterpret_cast<cudaEmuDeviceEntry>(deviceFun),
                          tid,
                          bid,
                          bDim,
                          gDim,
                          wSize};
  for (Function& existing : functions) {
    if (existing.key == hostFun) {
      existing = function;
      return;
    }
  }
  functions.push_back(function);
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
  const auto found =
      std::find_if(functions.begin(), functions.end(), [&](const Function& f) { return f.key == entry; });
  if (entry == nullptr || found == functions.end())
    return cudart::fail(cudaErrorInvalidDeviceFunction);

  // The launch consumes its configuration and arguments before running; the
  // kernel may unregister itself while it runs.
  const Function function = *found;
  const Configuration launch = pending;
  configured = false;

  // The position goes where the kernel reads it, or to spare slots; a fault
  // report reads it from there.
  cudart::LaunchSite& site = cudart::current_launch;
  site.kernel = function.name;
  site.thread = function.thread_index != nullptr ? function.thread_index : &site.spare_thread;
  site.block = function.block_index != nullptr ? function.block_index : &site.spare_block;
  uint3* const thread_slot = site.thread;
  uint3* const block_slot = site.block;
  cudart::watch_device_faults();
  for (unsigned by = 0; by < launch.grid.y; ++by) {
    for (unsigned bx = 0; bx < launch.grid.x; ++bx) {
      for (unsigned tz = 0; tz < launch.block.z; ++tz) {
        for (unsigned ty = 0; ty < launch.block.y; ++ty) {
          for (unsigned tx = 0; tx < launch.block.x; ++tx) {
            *thread_slot = uint3{tx, ty, tz};
            *block_slot = uint3{bx, by, 0};
            if (function.block_extent != nullptr)
              *function.block_extent = launch.block;
            if (function.grid_extent != nullptr)
              *function.grid_extent = launch.grid;
            if (function.warp_size != nullptr)
              *function.warp_size = cudart::warp_size;
            function.entry(launch.arguments);
          }
        }
      }
    }
  }
  site.kernel = nullptr;
  return cudaSuccess;
}
