// Device memory: allocations in the emulated device's own address space.
// Each allocation's pages have an inaccessible guard page on either side;
// freed ranges are handed out again only after the allocator has wrapped
// around, so stale addresses keep faulting for a while.
//
// The bytes of an allocation sit flush against the guard page after its last
// page, so that a kernel reading or writing one element past the end faults.
// Its device address stays 256-byte aligned: the host memory of an address
// is base + address + a shift below 256 kept per 4 KiB of the 32-bit device
// address range (pages are whole multiples of 4 KiB). With
// CUDART_EMU_CHECK=start an allocation starts on its first page instead, so an
// access just before its start faults and one just past its end may not.
#include "address_space.h"
#include "runtime_state.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

struct Allocation {
  std::size_t size;    // bytes asked for
  std::size_t span;    // bytes committed: whole pages
  std::uint64_t first; // offset of its first page in the region
  std::uint32_t shift; // host bytes = base + address + shift
};

using cudart::address_space_size;

constexpr std::uint64_t device_alignment = 256;

char* device_base = nullptr;
constexpr unsigned shift_granule_bits = 12;
std::vector<std::uint8_t> shifts; // covers every 32-bit address: no bounds check
std::map<std::uint32_t, Allocation> allocations;
// Freed allocations whose pages no live one has taken over, for fault reports.
std::map<std::uint32_t, Allocation> freed;
std::size_t bytes_in_use = 0;
std::uint64_t next_address = 0;

bool ensure_reserved()
{
  if (device_base != nullptr)
    return true;
  device_base = cudart::address_space::reserve(address_space_size);
  if (device_base != nullptr)
    shifts.assign(std::size_t{1} << (32 - shift_granule_bits), 0);
  return device_base != nullptr;
}

bool flush_with_start()
{
  const char* mode = std::getenv("CUDART_EMU_CHECK");
  return mode != nullptr && std::strcmp(mode, "start") == 0;
}

// Places `size` bytes in the committed pages [first, first + span) and
// gives their device address.
std::uint64_t place(std::uint64_t first, std::size_t span, std::size_t size, Allocation* allocation)
{
  std::uint64_t host = first;
  if (!flush_with_start()) {
    // Aligned to the largest power of two dividing size, up to 16: every
    // array that fills the allocation is aligned for its element type.
    const std::uint64_t alignment = std::min<std::uint64_t>(size & (~size + 1), 16);
    host = (first + span - size) / alignment * alignment;
  }
  const std::uint64_t address = host / device_alignment * device_alignment;
  *allocation = Allocation{size, span, first, static_cast<std::uint32_t>(host - address)};
  return address;
}

void forget_freed_overlapping(std::uint64_t first, std::uint64_t span)
{
  // Records are disjoint and ordered, so only a run of neighbours can overlap.
  auto it = freed.lower_bound(static_cast<std::uint32_t>(first));
  if (it != freed.begin())
    --it;
  while (it != freed.end() && it->second.first < first + span) {
    if (first < it->second.first + it->second.span)
      it = freed.erase(it);
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
    const std::uint64_t free_from = previous->second.first + previous->second.span + guard;
    if (candidate < free_from)
      candidate = free_from;
  }
  for (;;) {
    if (candidate + span + guard > address_space_size)
      return 0;
    if (next == allocations.end() || candidate + span + guard <= next->second.first)
      return candidate;
    candidate = std::max(candidate, next->second.first + next->second.span + guard);
    ++next;
  }
}

std::uint64_t address_of(const void* device_pointer)
{
  return static_cast<std::uint64_t>(reinterpret_cast<std::uintptr_t>(device_pointer));
}

// Checks that [address, address + count) lies inside one live allocation and
// gives its host bytes.
cudaError_t check_device_range(std::uint64_t address, std::size_t count, char** host)
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
  *host = device_base + address + found->second.shift;
  return cudaSuccess;
}

// How far host offset `at` lies outside the allocation's bytes; 0 inside.
std::uint64_t distance(const std::pair<const std::uint32_t, Allocation>& entry, std::uint64_t at)
{
  const std::uint64_t start = entry.first + entry.second.shift;
  if (at < start)
    return start - at;
  return at < start + entry.second.size ? 0 : at - (start + entry.second.size) + 1;
}

// The live or freed allocation nearest to host offset `at` among `records`.
void consider_nearest(const std::map<std::uint32_t, Allocation>& records, bool live, std::uint64_t at,
                      cudart::DeviceFault* fault, std::uint64_t* best)
{
  auto next = records.upper_bound(static_cast<std::uint32_t>(at));
  for (int step = 0; step < 2; ++step) {
    if (step == 1) {
      if (next == records.begin())
        break;
      --next;
    }
    if (next == records.end())
      continue;
    const std::uint64_t d = distance(*next, at);
    if (d < *best) {
      *best = d;
      fault->found = true;
      fault->live = live;
      fault->allocation = next->first;
      fault->size = next->second.size;
      fault->address = static_cast<std::int64_t>(at) - next->second.shift;
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
  if (size > cudart::global_memory_size - bytes_in_use || !ensure_reserved())
    return cudart::fail(cudaErrorMemoryAllocation);
  const std::size_t span = (size + page - 1) / page * page;
  if (span > cudart::global_memory_size - bytes_in_use)
    return cudart::fail(cudaErrorMemoryAllocation);

  std::uint64_t first = find_gap(next_address, span);
  if (first == 0)
    first = find_gap(0, span);
  if (first == 0 || !cudart::address_space::commit(device_base + first, span))
    return cudart::fail(cudaErrorMemoryAllocation);

  Allocation allocation{};
  const std::uint64_t address = place(first, span, size, &allocation);
  std::memset(&shifts[first >> shift_granule_bits], static_cast<int>(allocation.shift), span >> shift_granule_bits);
  forget_freed_overlapping(first, span);
  allocations.emplace(static_cast<std::uint32_t>(address), allocation);
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
  // Its shifts stay: a stale address still leads into its pages.
  cudart::address_space::decommit(device_base + found->second.first, found->second.span);
  bytes_in_use -= found->second.span;
  freed.insert(*found);
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
    if ((status = check_device_range(address_of(dst), count, &to)) != cudaSuccess)
      return cudart::fail(status);
  } else if (dst == nullptr && count > 0) {
    return cudart::fail(cudaErrorInvalidValue);
  }
  if (src_on_device) {
    char* source = nullptr;
    if ((status = check_device_range(address_of(src), count, &source)) != cudaSuccess)
      return cudart::fail(status);
    from = source;
  } else if (src == nullptr && count > 0) {
    return cudart::fail(cudaErrorInvalidValue);
  }
  if (count > 0)
    std::memmove(to, from, count);
  return cudaSuccess;
}

extern "C" void* __cudaEmuHostPointer(unsigned int address)
{
  return device_base == nullptr ? nullptr : device_base + address + shifts[address >> shift_granule_bits];
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
