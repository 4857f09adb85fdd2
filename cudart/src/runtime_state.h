// Internal to the emulated runtime: what its parts share.
#ifndef CUDART_RUNTIME_STATE_H
#define CUDART_RUNTIME_STATE_H

#include "cudart_emu.h"

#include <cstddef>
#include <cstdint>

namespace cudart {

// The runtime calls whose status a test can force (see fault_injection.cpp).
enum class Call { Malloc, Free, Memcpy, ConfigureCall, SetupArgument, Launch, Count };

// Counts the call and tells whether it is to fail, and with which status.
bool injected_fault(Call call, cudaError_t* status);

// Records a failing status as the last error and hands it back.
cudaError_t fail(cudaError_t status);

// The device profile the emulation presents.
inline constexpr unsigned max_threads_per_block = 512;
inline constexpr unsigned max_block_x = 512;
inline constexpr unsigned max_block_y = 512;
inline constexpr unsigned max_block_z = 64;
inline constexpr unsigned max_grid_x = 65535;
inline constexpr unsigned max_grid_y = 65535;
inline constexpr unsigned max_grid_z = 1;
inline constexpr std::size_t max_shared_memory = 16 * 1024;
inline constexpr std::size_t argument_block_size = 256;
inline constexpr int warp_size = 32;
inline constexpr std::size_t global_memory_size = std::size_t{256} << 20;
// Device addresses are offsets into a region this large, well past the memory.
inline constexpr std::uint64_t address_space_size = std::uint64_t{1} << 30;

// What a fault at a host address inside the device region hit. Reading it
// allocates nothing, so a signal handler may ask.
struct DeviceFault {
  std::int64_t address; // device address of the faulting byte
  bool found;           // an allocation, live or freed, is on record
  bool live;
  std::uint32_t allocation; // the nearest one's device address and size
  std::size_t size;
};
bool in_device_region(const void* host);
DeviceFault describe_device_fault(const void* host);

// The launch under way, for the fault report: its kernel and where the
// launch loop writes the thread position.
struct LaunchSite {
  const char* kernel; // null between launches
  const uint3* block;
  const uint3* thread;
};
extern LaunchSite current_launch;

// From the first launch on, a fault in the device region while a kernel runs
// stops the process with a report and this status (EX_SOFTWARE).
inline constexpr int device_fault_exit_status = 70;
void watch_device_faults();

} // namespace cudart

#endif
