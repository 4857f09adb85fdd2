// Device memory: allocations in the emulated device's own address space.
// Each allocation starts on a page boundary and is followed by at least one
// inaccessible guard page; freed ranges are handed out again only after the
// allocator has wrapped around, so stale addresses keep faulting for a while.
#include "address_space.h"
#include "allocation_table.h"
#include "runtime_state.h"

#include <cstdint>
#include <cstring>
#include <iterator>

char* __cudaEmuDeviceBase = nullptr;

namespace {

using cudart::Allocation;

// Address space of the device: 32-bit addresses, well past its memory size.
constexpr std::uint64_t address_space_size = std::uint64_t{1} << 30;

char*& device_base = __cudaEmuDeviceBase;
cudart::AllocationTable allocations;
std::size_t bytes_in_use = 0;
std::uint64_t next_address = 0;

bool ensure_reserved()
{
  if (device_base == nullptr)
    device_base = cudart::address_space::reserve(address_space_size);
  return device_base != nullptr;
}

// First gap at or after `from` that holds `span` bytes with a guard page on
// each side; 0 when there is none.
std::uint64_t find_gap(std::uint64_t from, std::uint64_t span)
{
  const std::uint64_t guard = cudart::address_space::page_size();
  std::uint64_t candidate = from < guard ? guard : from;
  auto next = allocations.lower_bound(static_cast<std::uint32_t>(candidate));
  if (next != allocations.begin()) {
    const auto previous = std::prev(next);
    const std::uint64_t free_from = previous->first + previous->second.span + guard;
    if (candidate < free_from)
      candidate = free_from;
  }
  for (;;) {
    if (candidate + span + guard > address_space_size)
      return 0;
    if (next == allocations.end() || candidate + span + guard <= next->first)
      return candidate;
    candidate = next->first + next->second.span + guard;
    ++next;
  }
}

std::uint64_t address_of(const void* device_pointer)
{
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(device_pointer));
}

// Checks that [address, address + count) lies inside one live allocation.
cudaError_t check_device_range(std::uint64_t address, std::size_t count)
{
  auto found = allocations.upper_bound(static_cast<std::uint32_t>(address));
  if (address >= address_space_size || found == allocations.begin())
    return cudaErrorInvalidDevicePointer;
  --found;
  const std::uint64_t offset = address - found->first;
  if (offset >= found->second.size)
    return cudaErrorInvalidDevicePointer;
  if (count > found->second.size - offset)
    return cudaErrorInvalidValue;
  return cudaSuccess;
}

} // namespace

extern "C" cudaError_t cudaMalloc(void** devPtr, size_t size)
{
  cudaError_t status = cudaSuccess;
  if (cudart::injected_fault(cudart::Call::Malloc, &status))
    return status;
  if (devPtr == nullptr)
    return cudart::fail(cudaErrorInvalidValue);
  if (size == 0) {
    *devPtr = nullptr;
    return cudaSuccess;
  }
  const std::size_t page = cudart::address_space::page_size();
  if (size > cudart::global_memory_size - bytes_in_use || allocations.full() || !ensure_reserved())
    return cudart::fail(cudaErrorMemoryAllocation);
  const std::size_t span = (size + page - 1) / page * page;
  if (span > cudart::global_memory_size - bytes_in_use)
    return cudart::fail(cudaErrorMemoryAllocation);

  std::uint64_t address = find_gap(next_address, span);
  if (address == 0)
    address = find_gap(0, span);
  if (address == 0 || !cudart::address_space::commit(device_base + address, span))
    return cudart::fail(cudaErrorMemoryAllocation);

  allocations.emplace(static_cast<std::uint32_t>(address), Allocation{size, span});
  bytes_in_use += span;
  next_address = address + span + page;
  *devPtr = reinterpret_cast<void*>(static_cast<std::uintptr_t>(address));
  return cudaSuccess;
}

extern "C" cudaError_t cudaFree(void* devPtr)
{
  cudaError_t status = cudaSuccess;
  if (cudart::injected_fault(cudart::Call::Free, &status))
    return status;
  if (devPtr == nullptr)
    return cudaSuccess;
  const std::uint64_t address = address_of(devPtr);
  const auto found =
      address < address_space_size ? allocations.find(static_cast<std::uint32_t>(address)) : allocations.end();
  if (found == allocations.end())
    return cudart::fail(cudaErrorInvalidDevicePointer);
  cudart::address_space::decommit(device_base + address, found->second.span);
  bytes_in_use -= found->second.span;
  allocations.erase(found);
  return cudaSuccess;
}

extern "C" cudaError_t cudaMemcpy(void* dst, const void* src, size_t count, enum cudaMemcpyKind kind)
{
  cudaError_t status = cudaSuccess;
  if (cudart::injected_fault(cudart::Call::Memcpy, &status))
    return status;
  const bool dst_on_device = kind == cudaMemcpyHostToDevice || kind == cudaMemcpyDeviceToDevice;
  const bool src_on_device = kind == cudaMemcpyDeviceToHost || kind == cudaMemcpyDeviceToDevice;
  if (!dst_on_device && !src_on_device && kind != cudaMemcpyHostToHost)
    return cudart::fail(cudaErrorInvalidMemcpyDirection);

  char* to = static_cast<char*>(dst);
  const char* from = static_cast<const char*>(src);
  if (dst_on_device) {
    if ((status = check_device_range(address_of(dst), count)) != cudaSuccess)
      return cudart::fail(status);
    to = device_base + address_of(dst);
  } else if (dst == nullptr && count > 0) {
    return cudart::fail(cudaErrorInvalidValue);
  }
  if (src_on_device) {
    if ((status = check_device_range(address_of(src), count)) != cudaSuccess)
      return cudart::fail(status);
    from = device_base + address_of(src);
  } else if (src == nullptr && count > 0) {
    return cudart::fail(cudaErrorInvalidValue);
  }
  if (count > 0)
    std::memmove(to, from, count);
  return cudaSuccess;
}

extern "C" void* __cudaEmuHostPointer(unsigned int address)
{
  return device_base == nullptr ? nullptr : device_base + address;
}
