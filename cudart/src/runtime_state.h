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

} // namespace cudart

#endif
