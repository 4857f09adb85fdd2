// Drives the emulated runtime with a sequence of its calls decoded from the
// input and checks each against a model of what the call must do: the status
// it returns, what it changes, and that a refused call changes nothing a later
// call can see (allocations, their bytes, the configuration and its arguments,
// the registered kernels, the last error).
#include "cudart_emu.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

namespace {

// Input bytes; zeros once they run out.
struct Reader {
  const std::uint8_t* data;
  std::size_t size;

  bool empty() const
  {
    return size == 0;
  }
  std::uint64_t bytes(int count)
  {
    std::uint64_t value = 0;
    for (int i = 0; i < count; ++i) {
      value |= std::uint64_t{size > 0 ? *data : 0u} << (8 * i);
      if (size > 0) {
        ++data;
        --size;
      }
    }
    return value;
  }
  std::uint8_t u8()
  {
    return static_cast<std::uint8_t>(bytes(1));
  }
  std::uint32_t u32()
  {
    return static_cast<std::uint32_t>(bytes(4));
  }
};

void require(bool condition, const char* what, long detail = 0)
{
  if (!condition) {
    std::fprintf(stderr, "runtime_fuzzer: %s (%ld)\n", what, detail);
    std::abort();
  }
}

// The kernel: arguments [address][count][tag], 32 bits each; position i below
// count stores tag ^ i as the i-th 32-bit word at address.
uint3 thread_index;
uint3 block_index;
dim3 block_extent;
dim3 grid_extent;

void store_entry(const void* block)
{
  std::uint32_t words[3];
  std::memcpy(words, block, sizeof words);
  const std::uint64_t i =
      ((std::uint64_t{block_index.y} * grid_extent.x + block_index.x) * block_extent.z + thread_index.z) *
          block_extent.y * block_extent.x +
      std::uint64_t{thread_index.y} * block_extent.x + thread_index.x;
  if (i < words[1]) {
    const std::uint32_t value = words[2] ^ static_cast<std::uint32_t>(i);
    std::memcpy(static_cast<char*>(__cudaEmuHostPointer(words[0])) + 4 * i, &value, 4);
  }
}
void store_stub() {}
void never_registered_stub() {}
void noop_entry(const void*) {}
void noop_stub() {}

const char* key(void (*stub)())
{
  return reinterpret_cast<const char*>(stub);
}

// What the runtime must hold, as the model sees it.
constexpr std::size_t device_memory = std::size_t{256} << 20;
constexpr std::size_t largest_modelled = std::size_t{256} << 10;
constexpr std::uint64_t affordable_positions = 1 << 14;
constexpr std::size_t host_buffer_size = 2 * largest_modelled + 4096;

std::map<std::uint32_t, std::vector<std::uint8_t>> live;
std::vector<std::uint32_t> freed;
bool configured = false;
dim3 grid, block;
std::uint8_t arguments[256];
void** module = nullptr;
cudaError_t last_error = cudaSuccess;
std::vector<std::uint8_t> host_a(host_buffer_size), host_b(host_buffer_size);

std::size_t page_span(std::size_t size)
{
  return (size + 4095) / 4096 * 4096;
}

std::size_t committed()
{
  std::size_t total = 0;
  for (const auto& [address, bytes] : live)
    total += page_span(bytes.size());
  return total;
}

void expect(cudaError_t status, cudaError_t expected, const char* call)
{
  if (status != expected)
    std::fprintf(stderr, "runtime_fuzzer: %s returned %d, expected %d\n", call, status, expected);
  require(status == expected, call, status);
  if (status != cudaSuccess)
    last_error = status;
}

// Device addresses the input can name: live ones with an offset, freed ones,
// null, or any 32-bit value.
std::uint64_t pick_device(Reader& in)
{
  const std::uint8_t how = in.u8() % 5;
  if (how == 0 && !live.empty()) {
    auto it = live.begin();
    std::advance(it, in.u8() % live.size());
    const std::uint32_t mode = in.u8() % 4;
    const std::size_t size = it->second.size();
    const std::uint64_t offset = mode == 0 ? 0 : mode == 1 ? size - 1 : mode == 2 ? size : in.u32() % (size + 8);
    return it->first + offset;
  }
  if (how == 1 && !freed.empty())
    return freed[in.u8() % freed.size()];
  if (how == 2)
    return 0;
  if (how == 3)
    return in.u32();
  return live.empty() ? in.u32() : live.begin()->first;
}

// The live allocation holding the device address, if any.
std::map<std::uint32_t, std::vector<std::uint8_t>>::iterator holder(std::uint64_t address)
{
  auto it = live.upper_bound(static_cast<std::uint32_t>(address));
  if (address > UINT32_MAX || it == live.begin())
    return live.end();
  --it;
  return address - it->first < it->second.size() ? it : live.end();
}

std::size_t pick_count(Reader& in, std::size_t room)
{
  switch (in.u8() % 5) {
  case 0:
    return 0;
  case 1:
    return room;
  case 2:
    return room + 1;
  case 3:
    return in.u32() % 512;
  default:
    return in.u8() % 2 ? SIZE_MAX : in.u32();
  }
}

void op_malloc(Reader& in)
{
  std::size_t size = 0;
  switch (in.u8() % 5) {
  case 0:
    size = in.u8() % 65;
    break;
  case 1:
    size = in.bytes(2);
    break;
  case 2:
    size = (in.u8() % 64 + 1) * std::size_t{4096} + (in.u8() % 3) - 1;
    break;
  case 3:
    size = largest_modelled;
    break;
  default:
    size = device_memory + 1 + in.u32(); // never fits
    break;
  }
  if (in.u8() % 16 == 0) {
    expect(cudaMalloc(nullptr, size), cudaErrorInvalidValue, "cudaMalloc(nullptr)");
    return;
  }
  void* const sentinel = reinterpret_cast<void*>(std::uintptr_t{0xDEADBEEF});
  void* device = sentinel;
  const cudaError_t status = cudaMalloc(&device, size);
  if (size == 0) {
    expect(status, cudaSuccess, "cudaMalloc(0)");
    require(device == nullptr, "cudaMalloc(0) gives null");
    return;
  }
  if (size > device_memory - committed()) {
    expect(status, cudaErrorMemoryAllocation, "cudaMalloc past the memory");
    require(device == sentinel, "refused cudaMalloc wrote its result");
    return;
  }
  if (status == cudaErrorMemoryAllocation) { // no gap large enough: allowed
    last_error = status;
    require(device == sentinel, "refused cudaMalloc wrote its result");
    return;
  }
  expect(status, cudaSuccess, "cudaMalloc");
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(device);
  require(address != 0 && address % 256 == 0 && address + size <= UINT32_MAX, "bad device address", long(address));
  auto next = live.lower_bound(static_cast<std::uint32_t>(address));
  require(next == live.end() || address + size <= next->first, "allocation overlaps the next one");
  require(next == live.begin() || std::prev(next)->first + std::prev(next)->second.size() <= address,
          "allocation overlaps the previous one");
  std::vector<std::uint8_t> bytes(size);
  expect(cudaMemcpy(bytes.data(), device, size, cudaMemcpyDeviceToHost), cudaSuccess, "read of a new allocation");
  live.emplace(static_cast<std::uint32_t>(address), std::move(bytes));
  std::erase(freed, static_cast<std::uint32_t>(address));
}

void op_free(Reader& in)
{
  const std::uint64_t address = pick_device(in);
  const auto found = live.find(static_cast<std::uint32_t>(address));
  const cudaError_t status = cudaFree(reinterpret_cast<void*>(static_cast<std::uintptr_t>(address)));
  if (address == 0) {
    expect(status, cudaSuccess, "cudaFree(nullptr)");
  } else if (address <= UINT32_MAX && found != live.end()) {
    expect(status, cudaSuccess, "cudaFree");
    live.erase(found);
    freed.push_back(static_cast<std::uint32_t>(address));
  } else {
    expect(status, cudaErrorInvalidDevicePointer, "cudaFree of no allocation");
  }
}

void op_memcpy(Reader& in)
{
  const std::uint8_t kind_choice = in.u8() % 6;
  const cudaMemcpyKind kind = static_cast<cudaMemcpyKind>(kind_choice < 4 ? kind_choice : kind_choice == 4 ? 4 : -1);
  const bool dst_device = kind == cudaMemcpyHostToDevice || kind == cudaMemcpyDeviceToDevice;
  const bool src_device = kind == cudaMemcpyDeviceToHost || kind == cudaMemcpyDeviceToDevice;
  const bool host_only = kind == cudaMemcpyHostToHost;

  // Host sides point into buffers large enough for any copy the model allows.
  const std::size_t host_offset = in.u8();
  const bool null_host = in.u8() % 8 == 0;
  std::uint64_t dst = dst_device ? pick_device(in) : 0;
  std::uint64_t src = src_device ? pick_device(in) : 0;
  auto dst_at = dst_device ? holder(dst) : live.end();
  auto src_at = src_device ? holder(src) : live.end();
  std::size_t room = host_buffer_size - 256;
  if (dst_at != live.end())
    room = dst_at->second.size() - (dst - dst_at->first);
  else if (src_at != live.end())
    room = src_at->second.size() - (src - src_at->first);
  std::size_t count = pick_count(in, room);
  if (host_only && count > host_buffer_size - 256)
    count = host_buffer_size - 256; // the runtime trusts host ranges
  std::uint8_t* host_dst = null_host && !dst_device ? nullptr : host_a.data() + host_offset;
  const std::uint8_t* host_src = null_host && !src_device ? nullptr : host_b.data() + host_offset;

  cudaError_t expected = cudaSuccess;
  auto check_device = [&](std::uint64_t address, decltype(live)::iterator at) {
    if (at == live.end())
      return cudaErrorInvalidDevicePointer;
    return count > at->second.size() - (address - at->first) ? cudaErrorInvalidValue : cudaSuccess;
  };
  if (!dst_device && !src_device && !host_only)
    expected = cudaErrorInvalidMemcpyDirection;
  else if (dst_device && check_device(dst, dst_at) != cudaSuccess)
    expected = check_device(dst, dst_at);
  else if (!dst_device && host_dst == nullptr && count > 0)
    expected = cudaErrorInvalidValue;
  else if (src_device && check_device(src, src_at) != cudaSuccess)
    expected = check_device(src, src_at);
  else if (!src_device && host_src == nullptr && count > 0)
    expected = cudaErrorInvalidValue;

  const std::vector<std::uint8_t> before(host_a.begin(), host_a.begin() + 1024);
  void* dst_pointer = dst_device ? reinterpret_cast<void*>(static_cast<std::uintptr_t>(dst)) : host_dst;
  const void* src_pointer = src_device ? reinterpret_cast<const void*>(static_cast<std::uintptr_t>(src)) : host_src;
  expect(cudaMemcpy(dst_pointer, src_pointer, count, kind), expected, "cudaMemcpy");
  if (expected != cudaSuccess) {
    require(std::memcmp(before.data(), host_a.data(), before.size()) == 0, "refused cudaMemcpy wrote host memory");
    return;
  }
  const std::uint8_t* from = src_device ? src_at->second.data() + (src - src_at->first) : host_src;
  std::uint8_t* to = dst_device ? dst_at->second.data() + (dst - dst_at->first) : nullptr;
  if (to != nullptr && count > 0)
    std::memmove(to, from, count);
  if (!dst_device && count > 0)
    require(std::memcmp(host_dst, src_device ? from : host_src, count) == 0, "cudaMemcpy to host lost bytes");
}

bool valid_configuration(dim3 g, dim3 b, std::size_t shared)
{
  if (b.x == 0 || b.y == 0 || b.z == 0 || g.x == 0 || g.y == 0 || g.z == 0)
    return false;
  if (b.x > 512 || b.y > 512 || b.z > 64 || std::uint64_t{b.x} * b.y * b.z > 512)
    return false;
  return g.x <= 65535 && g.y <= 65535 && g.z <= 1 && shared <= 16384;
}

unsigned pick_extent(Reader& in)
{
  switch (in.u8() % 4) {
  case 0:
    return in.u8() % 9;
  case 1:
    return in.u32();
  case 2:
    return 1u << (in.u8() % 17);
  default:
    return (1u << (in.u8() % 17)) + 1;
  }
}

void op_configure(Reader& in)
{
  const dim3 g(pick_extent(in), pick_extent(in), in.u8() % 3);
  const dim3 b(pick_extent(in), pick_extent(in), pick_extent(in));
  const std::size_t shared = in.u8() % 2 ? 16384 + in.u8() % 3 - 1 : in.u32();
  const cudaStream_t stream = in.u8() % 8 == 0 ? 1 : 0;
  const cudaError_t expected = !valid_configuration(g, b, shared) ? cudaErrorInvalidConfiguration
                               : stream != 0                      ? cudaErrorInvalidValue
                                                                  : cudaSuccess;
  expect(cudaConfigureCall(g, b, shared, stream), expected, "cudaConfigureCall");
  if (expected == cudaSuccess) {
    configured = true;
    grid = g;
    block = b;
    std::memset(arguments, 0, sizeof arguments);
  }
}

// Offsets and sizes cluster at the argument block's end, where refusals start.
std::size_t pick_offset(Reader& in)
{
  switch (in.u8() % 4) {
  case 0:
    return 248 + in.u8() % 10;
  case 1:
    return in.u8();
  case 2:
    return in.bytes(2) % 300;
  default:
    return SIZE_MAX - in.u8();
  }
}

std::size_t pick_argument_size(Reader& in, std::size_t offset)
{
  switch (in.u8() % 4) {
  case 0:
    return 256 - offset + in.u8() % 3 - 1;
  case 1:
    return in.u8() % 9;
  case 2:
    return in.bytes(2) % 300;
  default:
    return SIZE_MAX - in.u8();
  }
}

void op_setup_argument(Reader& in)
{
  std::uint8_t bytes[300];
  std::size_t size = 0;
  std::size_t offset = 0;
  if (in.u8() % 2 == 0 && !live.empty()) {
    // The kernel's own arguments: a live allocation and a count of words.
    auto it = live.begin();
    std::advance(it, in.u8() % live.size());
    const std::uint32_t words[3] = {it->first, static_cast<std::uint32_t>(it->second.size() / 4 - in.u8() % 2),
                                    in.u32()};
    std::memcpy(bytes, words, sizeof words);
    size = sizeof words;
  } else {
    const std::uint8_t first = in.u8();
    for (std::size_t i = 0; i < sizeof bytes; ++i)
      bytes[i] = static_cast<std::uint8_t>(first + 13 * i);
    offset = pick_offset(in);
    size = pick_argument_size(in, offset);
  }
  const bool null_argument = in.u8() % 16 == 0;
  cudaError_t expected = cudaSuccess;
  if (!configured)
    expected = cudaErrorMissingConfiguration;
  else if (offset > 256 || size > 256 - offset || (null_argument && size > 0))
    expected = cudaErrorInvalidValue;
  expect(cudaSetupArgument(null_argument ? nullptr : bytes, size, offset), expected, "cudaSetupArgument");
  if (expected == cudaSuccess && size > 0)
    std::memcpy(arguments + offset, bytes, size);
}

void op_launch(Reader& in)
{
  const std::uint8_t which = in.u8() % 4;
  const char* entry = which == 0 ? key(never_registered_stub) : which == 1 ? nullptr : key(store_stub);
  cudaError_t expected = cudaSuccess;
  if (!configured)
    expected = cudaErrorMissingConfiguration;
  else if (entry != key(store_stub) || module == nullptr)
    expected = cudaErrorInvalidDeviceFunction;
  std::uint32_t words[3];
  std::memcpy(words, arguments, sizeof words);
  const std::uint64_t positions = std::uint64_t{grid.x} * grid.y * block.x * block.y * block.z;
  const std::uint64_t stores = std::min<std::uint64_t>(words[1], positions);
  auto target = holder(words[0]);
  if (expected == cudaSuccess) {
    // Launch only what the model can afford and what stays in bounds: the
    // checker stops the process on any other store.
    if (positions > affordable_positions)
      return;
    if (stores > 0 && (target == live.end() || target->first != words[0] || 4 * stores > target->second.size()))
      return;
  }
  expect(cudaLaunch(entry), expected, "cudaLaunch");
  if (expected != cudaSuccess)
    return;
  configured = false;
  for (std::uint64_t i = 0; i < stores; ++i) {
    const std::uint32_t value = words[2] ^ static_cast<std::uint32_t>(i);
    std::memcpy(target->second.data() + 4 * i, &value, 4);
  }
}

void op_register()
{
  if (module != nullptr)
    return;
  module = __cudaRegisterFatBinary(nullptr);
  require(module != nullptr, "no module handle");
  // Incomplete registrations are ignored.
  __cudaRegisterFunction(module, nullptr, reinterpret_cast<char*>(&store_entry), "store", -1, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
  __cudaRegisterFunction(module, key(never_registered_stub), nullptr, "never", -1, nullptr, nullptr, nullptr, nullptr,
                         nullptr);
  __cudaRegisterFunction(module, key(store_stub), reinterpret_cast<char*>(&store_entry), "store", -1, &thread_index,
                         &block_index, &block_extent, &grid_extent, nullptr);
}

void op_unregister(Reader& in)
{
  void* stranger = nullptr;
  if (in.u8() % 2) {
    __cudaUnregisterFatBinary(&stranger); // not a module: ignored
  } else if (module != nullptr) {
    __cudaUnregisterFatBinary(module);
    module = nullptr;
  }
}

void verify_device()
{
  std::vector<std::uint8_t> bytes;
  for (const auto& [address, shadow] : live) {
    bytes.assign(shadow.size(), 0);
    expect(cudaMemcpy(bytes.data(), reinterpret_cast<void*>(std::uintptr_t{address}), bytes.size(),
                      cudaMemcpyDeviceToHost),
           cudaSuccess, "read back");
    require(bytes == shadow, "device bytes differ from the model", long(address));
  }
}

void verify_last_error()
{
  expect(cudaGetLastError(), last_error, "cudaGetLastError");
  last_error = cudaSuccess;
  require(cudaGetLastError() == cudaSuccess, "cudaGetLastError did not clear");
}

// Leaves the runtime as the next input expects to find it.
void reset()
{
  static void** noop_module = nullptr;
  if (noop_module == nullptr) {
    noop_module = __cudaRegisterFatBinary(nullptr);
    __cudaRegisterFunction(noop_module, key(noop_stub), reinterpret_cast<char*>(&noop_entry), "noop", -1, nullptr,
                           nullptr, nullptr, nullptr, nullptr);
  }
  if (configured) { // replaced by the smallest one, which a launch consumes
    expect(cudaConfigureCall(dim3(1), dim3(1), 0, 0), cudaSuccess, "cudaConfigureCall to clear the configuration");
    expect(cudaLaunch(key(noop_stub)), cudaSuccess, "cudaLaunch to clear the configuration");
  }
  configured = false;
  for (const auto& [address, shadow] : live)
    expect(cudaFree(reinterpret_cast<void*>(std::uintptr_t{address})), cudaSuccess, "cudaFree at the end");
  live.clear();
  freed.clear();
  if (module != nullptr)
    __cudaUnregisterFatBinary(module);
  module = nullptr;
  cudaGetLastError();
  last_error = cudaSuccess;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
  Reader in{data, size};
  for (int step = 0; step < 64 && !in.empty(); ++step) {
    switch (in.u8() % 10) {
    case 0:
      op_malloc(in);
      break;
    case 1:
      op_free(in);
      break;
    case 2:
      op_memcpy(in);
      break;
    case 3:
      op_configure(in);
      break;
    case 4:
      op_setup_argument(in);
      break;
    case 5:
      op_launch(in);
      break;
    case 6:
      op_register();
      break;
    case 7:
      op_unregister(in);
      break;
    case 8:
      verify_device();
      break;
    default:
      verify_last_error();
      break;
    }
  }
  verify_device();
  verify_last_error();
  reset();
  return 0;
}
