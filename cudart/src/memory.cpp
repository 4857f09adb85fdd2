// Device memory: allocations in the emulated device's own address space.
// Each allocation's pages have an inaccessible guard page on either side;
// freed ranges are handed out again only after the allocator has wrapped
// around, so stale addresses keep faulting for a while.
//
// An allocation starts on its first page, so its address is 256-byte aligned
// and an access just before it faults. With CUDART_EMU_CHECK=end its bytes end
// against the guard page after its last page instead, so an access just past
// its end faults; its address is then aligned only to the largest power of two
// dividing its size. A device address is its host offset in both placements.
#include "address_space.h"
#include "allocation_table.h"
#include "runtime_state.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <iterator>

char* __cudaEmuDeviceBase = nullptr;

namespace {

using cudart::Allocation;

using cudart::address_space_size;

char*& device_base = __cudaEmuDeviceBase;
cudart::AllocationTable allocations;
// Freed allocations whose pages no live one has taken over, for fault reports.
cudart::AllocationTable freed;
std::size_t bytes_in_use = 0;
std::uint64_t next_address = 0;

bool ensure_reserved()
{
  if (device_base == nullptr)
    device_base = cudart::address_space::reserve(address_space_size);
  return device_base != nullptr;
}

bool flush_with_end()
{
  const char* mode = std::getenv("CUDART_EMU_CHECK");
  return mode != nullptr && std::strcmp(mode, "end") == 0;
}

// The first of the pages an allocation at `address` takes.
std::uint64_t first_page(std::uint64_t address)
{
  const std::uint64_t page = cudart::address_space::page_size();
  return address / page * page;
}

void forget_freed_overlapping(std::uint64_t first, std::uint64_t span)
{
  // Records are disjoint and ordered, so only a run of neighbours can overlap.
  auto it = freed.lower_bound(static_cast<std::uint32_t>(first));
  if (it != freed.begin())
    --it;
  while (it != freed.end() && first_page(it->first) < first + span) {
    if (first < first_page(it->first) + it->second.span)
      freed.erase(it);
    else
      ++it;
  }
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
    const std::uint64_t free_from = first_page(previous->first) + previous->second.span + guard;
    if (candidate < free_from)
      candidate = free_from;
  }
  for (;;) {
    if (candidate + span + guard > address_space_size)
      return 0;
    if (next == allocations.end() || candidate + span + guard <= first_page(next->first))
      return candidate;
    candidate = std::max(candidate, first_page(next->first) + next->second.span + guard);
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

// How far `at` lies outside the allocation's bytes; 0 inside.
std::uint64_t distance(const cudart::AllocationTable::Entry& entry, std::uint64_t at)
{
  if (at < entry.first)
    return entry.first - at;
  return at < entry.first + entry.second.size ? 0 : at - (entry.first + entry.second.size) + 1;
}

// Takes the entry of `records` nearest to `at`, if nearer than `best`.
void consider_nearest(cudart::AllocationTable& records, bool live, std::uint64_t at, cudart::DeviceFault* fault,
                      std::uint64_t* best)
{
  auto next = records.upper_bound(static_cast<std::uint32_t>(at));
  for (auto* entry : {next, next == records.begin() ? records.end() : next - 1}) {
    if (entry == records.end())
      continue;
    const std::uint64_t d = distance(*entry, at);
    if (d < *best) {
      *best = d;
      fault->found = true;
      fault->live = live;
      fault->allocation = entry->first;
      fault->size = entry->second.size;
    }
  }
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

  std::uint64_t first = find_gap(next_address, span);
  if (first == 0)
    first = find_gap(0, span);
  if (first == 0 || !cudart::address_space::commit(device_base + first, span))
    return cudart::fail(cudaErrorMemoryAllocation);

  const std::uint64_t address = flush_with_end() ? first + span - size : first;
  forget_freed_overlapping(first, span);
  allocations.emplace(static_cast<std::uint32_t>(address), Allocation{size, span});
  bytes_in_use += span;
  next_address = first + span + page;
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
  cudart::address_space::decommit(device_base + first_page(address), found->second.span);
  bytes_in_use -= found->second.span;
  if (freed.full()) // forget the lowest record, not the newest
    freed.erase(freed.begin());
  freed.emplace(static_cast<std::uint32_t>(address), found->second);
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

namespace cudart {

bool in_device_region(const void* host)
{
  const char* at = static_cast<const char*>(host);
  return device_base != nullptr && at >= device_base && at < device_base + address_space_size;
}

DeviceFault describe_device_fault(const void* host)
{
  DeviceFault fault{};
  const std::uint64_t at = static_cast<std::uint64_t>(static_cast<const char*>(host) - device_base);
  fault.address = static_cast<std::int64_t>(at);
  std::uint64_t best = UINT64_MAX;
  consider_nearest(allocations, true, at, &fault, &best);
  consider_nearest(freed, false, at, &fault, &best);
  return fault;
}

} // namespace cudart
