// The emulated runtime at the edges of its device profile: the largest launches
// it accepts run every position, and each limit is exact to the byte.
#include "cudart_emu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint3 thread_index;
uint3 block_index;
dim3 block_extent;
dim3 grid_extent;

std::vector<unsigned char> visited;
unsigned char argument_copy[256];

void count_entry(const void* block)
{
  const std::uint64_t position =
      ((std::uint64_t{block_index.y} * grid_extent.x + block_index.x) * block_extent.z + thread_index.z) *
          block_extent.y * block_extent.x +
      std::uint64_t{thread_index.y} * block_extent.x + thread_index.x;
  if (position < visited.size())
    ++visited[position];
  std::memcpy(argument_copy, block, sizeof argument_copy);
}

void count_stub() {}

const char* count_key()
{
  return reinterpret_cast<const char*>(&count_stub);
}

class RuntimeEdgeTest : public testing::Test {
protected:
  void SetUp() override
  {
    module = __cudaRegisterFatBinary(nullptr);
    __cudaRegisterFunction(module, count_key(), reinterpret_cast<char*>(&count_entry), "count", -1, &thread_index,
                           &block_index, &block_extent, &grid_extent, nullptr);
    cudaGetLastError();
  }
  void TearDown() override
  {
    __cudaUnregisterFatBinary(module);
  }
  void** module = nullptr;
};

struct LaunchCase {
  const char* name;
  dim3 grid, block;
};

class LargestLaunchTest : public RuntimeEdgeTest, public testing::WithParamInterface<LaunchCase> {};

TEST_P(LargestLaunchTest, RunsEveryPositionExactlyOnce)
{
  const LaunchCase& c = GetParam();
  const std::size_t positions = std::size_t{c.grid.x} * c.grid.y * c.block.x * c.block.y * c.block.z;
  visited.assign(positions, 0);
  ASSERT_EQ(cudaConfigureCall(c.grid, c.block, 16384, 0), cudaSuccess);
  ASSERT_EQ(cudaLaunch(count_key()), cudaSuccess);
  std::size_t once = 0;
  for (unsigned char v : visited)
    once += v == 1;
  EXPECT_EQ(once, positions);
}

INSTANTIATE_TEST_SUITE_P(Profile, LargestLaunchTest,
                         testing::Values(LaunchCase{"block_x", dim3(1), dim3(512)},
                                         LaunchCase{"block_y", dim3(1), dim3(1, 512)},
                                         LaunchCase{"block_z", dim3(1), dim3(8, 1, 64)},
                                         LaunchCase{"grid_x", dim3(65535), dim3(1)},
                                         LaunchCase{"grid_y", dim3(1, 65535), dim3(1)},
                                         LaunchCase{"grid_and_block", dim3(255, 255), dim3(8, 8, 8)}),
                         [](const auto& info) { return std::string(info.param.name); });

struct ArgumentCase {
  const char* name;
  std::size_t size, offset;
  cudaError_t expected;
};

class ArgumentBlockTest : public RuntimeEdgeTest, public testing::WithParamInterface<ArgumentCase> {};

TEST_P(ArgumentBlockTest, HoldsExactlyItsSize)
{
  const ArgumentCase& c = GetParam();
  std::vector<unsigned char> bytes(c.size + 1);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<unsigned char>(i * 7 + 1);
  ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1), 0, 0), cudaSuccess);
  EXPECT_EQ(cudaSetupArgument(bytes.data(), c.size, c.offset), c.expected);
  EXPECT_EQ(cudaGetLastError(), c.expected);
  std::memset(argument_copy, 0xEE, sizeof argument_copy);
  visited.assign(1, 0);
  ASSERT_EQ(cudaLaunch(count_key()), cudaSuccess);
  // A placement lands whole; a refused one leaves the block clear.
  for (std::size_t i = 0; i < sizeof argument_copy; ++i) {
    const bool placed = c.expected == cudaSuccess && i >= c.offset && i < c.offset + c.size;
    ASSERT_EQ(argument_copy[i], placed ? bytes[i - c.offset] : 0) << "byte " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Edges, ArgumentBlockTest,
                         testing::Values(ArgumentCase{"whole_block", 256, 0, cudaSuccess},
                                         ArgumentCase{"one_byte_over", 257, 0, cudaErrorInvalidValue},
                                         ArgumentCase{"last_byte", 1, 255, cudaSuccess},
                                         ArgumentCase{"last_byte_plus_one", 2, 255, cudaErrorInvalidValue},
                                         ArgumentCase{"empty_at_end", 0, 256, cudaSuccess},
                                         ArgumentCase{"empty_past_end", 0, 257, cudaErrorInvalidValue},
                                         ArgumentCase{"offset_wraps", 2, SIZE_MAX, cudaErrorInvalidValue}),
                         [](const auto& info) { return std::string(info.param.name); });

// Copies are checked against the allocation they touch, to the byte, in each
// direction and for sizes that fill their last page or leave part of it.
struct CopyCase {
  const char* name;
  cudaMemcpyKind kind;
  std::size_t offset, count; // on the device side, from the allocation's start
  cudaError_t expected;
};

class CopyEdgeTest : public RuntimeEdgeTest,
                     public testing::WithParamInterface<std::tuple<CopyCase, std::size_t, const char*>> {};

TEST_P(CopyEdgeTest, EndsAtTheAllocationsEnd)
{
  const auto& [c, size, placement] = GetParam();
  setenv("CUDART_EMU_CHECK", placement, 1);
  char* device = nullptr;
  char* other = nullptr;
  ASSERT_EQ(cudaMalloc(reinterpret_cast<void**>(&device), size), cudaSuccess);
  ASSERT_EQ(cudaMalloc(reinterpret_cast<void**>(&other), size), cudaSuccess);
  unsetenv("CUDART_EMU_CHECK");

  std::vector<unsigned char> pattern(size), back(size + 1, 0);
  for (std::size_t i = 0; i < size; ++i)
    pattern[i] = static_cast<unsigned char>(i % 251 + 1);
  ASSERT_EQ(cudaMemcpy(device, pattern.data(), size, cudaMemcpyHostToDevice), cudaSuccess);

  const std::size_t count = c.count == SIZE_MAX       ? size - c.offset
                            : c.count == SIZE_MAX - 1 ? size - c.offset + 1
                                                      : c.count;
  cudaError_t status = cudaSuccess;
  switch (c.kind) {
  case cudaMemcpyHostToDevice:
    status = cudaMemcpy(other + c.offset, pattern.data(), count, c.kind);
    break;
  case cudaMemcpyDeviceToHost:
    status = cudaMemcpy(back.data(), device + c.offset, count, c.kind);
    break;
  default:
    status = cudaMemcpy(other + c.offset, device + c.offset, count, c.kind);
    break;
  }
  EXPECT_EQ(status, c.expected);
  EXPECT_EQ(cudaGetLastError(), c.expected);

  // What landed is exactly what was asked for; the device side reads it
  // through a device address inside the allocation, as a kernel would.
  if (c.kind == cudaMemcpyDeviceToHost) {
    for (std::size_t i = 0; i < count && i < back.size(); ++i)
      ASSERT_EQ(back[i], c.expected == cudaSuccess ? pattern[c.offset + i] : 0) << "byte " << i;
  } else if (count > 0 && c.expected == cudaSuccess) {
    const std::uint32_t address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(other));
    const unsigned char* last = static_cast<const unsigned char*>(
        __cudaEmuHostPointer(static_cast<std::uint32_t>(address + c.offset + count - 1)));
    const std::size_t source = c.kind == cudaMemcpyHostToDevice ? count - 1 : c.offset + count - 1;
    EXPECT_EQ(*last, pattern[source]);
  }
  EXPECT_EQ(cudaFree(device), cudaSuccess);
  EXPECT_EQ(cudaFree(other), cudaSuccess);
}

constexpr std::size_t whole = SIZE_MAX;              // from offset to the end
constexpr std::size_t whole_plus_one = SIZE_MAX - 1; // one byte past the end

INSTANTIATE_TEST_SUITE_P(
    Edges, CopyEdgeTest,
    testing::Combine(
        testing::Values(
            CopyCase{"to_device_to_end", cudaMemcpyHostToDevice, 0, whole, cudaSuccess},
            CopyCase{"to_device_past_end", cudaMemcpyHostToDevice, 0, whole_plus_one, cudaErrorInvalidValue},
            CopyCase{"to_device_last_byte", cudaMemcpyHostToDevice, 4095, whole, cudaSuccess},
            CopyCase{"to_device_empty", cudaMemcpyHostToDevice, 0, 0, cudaSuccess},
            CopyCase{"from_device_to_end", cudaMemcpyDeviceToHost, 0, whole, cudaSuccess},
            CopyCase{"from_device_past_end", cudaMemcpyDeviceToHost, 1, whole_plus_one, cudaErrorInvalidValue},
            CopyCase{"from_device_empty", cudaMemcpyDeviceToHost, 100, 0, cudaSuccess},
            CopyCase{"device_to_device_to_end", cudaMemcpyDeviceToDevice, 8, whole, cudaSuccess},
            CopyCase{"device_to_device_past_end", cudaMemcpyDeviceToDevice, 8, whole_plus_one, cudaErrorInvalidValue}),
        testing::Values(std::size_t{4096}, std::size_t{40000}, std::size_t{8193}), testing::Values("end", "start")),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + "_" + std::to_string(std::get<1>(info.param)) + "_" +
             std::get<2>(info.param);
    });

TEST_F(RuntimeEdgeTest, EmptyCopiesNeedNoHostMemoryButAValidDeviceAddress)
{
  char* device = nullptr;
  ASSERT_EQ(cudaMalloc(reinterpret_cast<void**>(&device), 64), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(device, nullptr, 0, cudaMemcpyHostToDevice), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(nullptr, device + 63, 0, cudaMemcpyDeviceToHost), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(nullptr, nullptr, 0, cudaMemcpyHostToHost), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(device + 64, nullptr, 0, cudaMemcpyHostToDevice), cudaErrorInvalidDevicePointer);
  EXPECT_EQ(cudaMemcpy(nullptr, nullptr, 0, cudaMemcpyDeviceToDevice), cudaErrorInvalidDevicePointer);
  EXPECT_EQ(cudaFree(device), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(device, nullptr, 0, cudaMemcpyHostToDevice), cudaErrorInvalidDevicePointer);
}

} // namespace
