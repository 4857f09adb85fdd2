// The emulated runtime through its public calls, with kernels of the test's own.
#include "cudart_emu.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

uint3 thread_index;
uint3 block_index;
dim3 block_extent;
dim3 grid_extent;
int warp_size;

struct Visit {
  uint3 thread, block;
  dim3 block_extent, grid_extent;
  int warp_size;
  unsigned char arguments[8];
};
std::vector<Visit> visits;

void record_entry(const void* block)
{
  Visit visit{thread_index, block_index, block_extent, grid_extent, warp_size, {}};
  std::memcpy(visit.arguments, block, sizeof visit.arguments);
  visits.push_back(visit);
}

// Records its position, then spoils every context variable for the next one.
void scribbling_entry(const void* block)
{
  record_entry(block);
  thread_index = block_index = uint3{99, 99, 99};
  block_extent = grid_extent = dim3(99, 99, 99);
  warp_size = 99;
}

int contextless_calls = 0;
void contextless_entry(const void*)
{
  ++contextless_calls;
}

void record_stub() {}
void scribbling_stub() {}
void contextless_stub() {}
void never_registered_stub() {}

const char* key_of(void (*stub)())
{
  return reinterpret_cast<const char*>(stub);
}

class RuntimeTest : public testing::Test {
protected:
  void SetUp() override
  {
    module = __cudaRegisterFatBinary(nullptr);
    __cudaRegisterFunction(module, key_of(record_stub), reinterpret_cast<char*>(&record_entry), "record", -1,
                           &thread_index, &block_index, &block_extent, &grid_extent, &warp_size);
    // No configuration left pending by an earlier test in this process: a
    // small one replaces it and its launch consumes it.
    cudaConfigureCall(dim3(1), dim3(1), 0, 0);
    cudaLaunch(key_of(record_stub));
    visits.clear();
    cudaGetLastError();
  }
  void TearDown() override
  {
    __cudaUnregisterFatBinary(module);
    for (void* allocation : allocations)
      cudaFree(allocation);
  }
  void* allocate(size_t size)
  {
    void* device = nullptr;
    EXPECT_EQ(cudaMalloc(&device, size), cudaSuccess);
    allocations.push_back(device);
    return device;
  }
  void** module = nullptr;
  std::vector<void*> allocations;
};

// Every position of the launch visited once, each with the launch's extents.
void expect_every_position_once(dim3 grid, dim3 block)
{
  ASSERT_EQ(visits.size(), std::size_t{grid.x} * grid.y * block.x * block.y * block.z);
  std::set<std::tuple<unsigned, unsigned, unsigned, unsigned, unsigned>> positions;
  for (const Visit& v : visits) {
    EXPECT_LT(v.block.x, grid.x);
    EXPECT_LT(v.block.y, grid.y);
    EXPECT_EQ(v.block.z, 0u);
    EXPECT_LT(v.thread.x, block.x);
    EXPECT_LT(v.thread.y, block.y);
    EXPECT_LT(v.thread.z, block.z);
    EXPECT_EQ(std::tie(v.block_extent.x, v.block_extent.y, v.block_extent.z), std::tie(block.x, block.y, block.z));
    EXPECT_EQ(std::tie(v.grid_extent.x, v.grid_extent.y, v.grid_extent.z), std::tie(grid.x, grid.y, grid.z));
    EXPECT_EQ(v.warp_size, 32);
    positions.emplace(v.block.x, v.block.y, v.thread.x, v.thread.y, v.thread.z);
  }
  EXPECT_EQ(positions.size(), visits.size());
}

TEST_F(RuntimeTest, LaunchRunsEveryThreadPositionOnceWithItsContext)
{
  ASSERT_EQ(cudaConfigureCall(dim3(3, 2, 1), dim3(4, 2, 2), 0, 0), cudaSuccess);
  ASSERT_EQ(cudaLaunch(key_of(record_stub)), cudaSuccess);
  expect_every_position_once(dim3(3, 2, 1), dim3(4, 2, 2));
}

TEST_F(RuntimeTest, EveryPositionGetsItsWholeContextEvenWhenTheKernelChangedIt)
{
  __cudaRegisterFunction(module, key_of(scribbling_stub), reinterpret_cast<char*>(&scribbling_entry), "scribble", -1,
                         &thread_index, &block_index, &block_extent, &grid_extent, &warp_size);
  ASSERT_EQ(cudaConfigureCall(dim3(2, 2), dim3(3, 1, 2), 0, 0), cudaSuccess);
  ASSERT_EQ(cudaLaunch(key_of(scribbling_stub)), cudaSuccess);
  expect_every_position_once(dim3(2, 2), dim3(3, 1, 2));
}

TEST_F(RuntimeTest, KernelWithoutContextVariablesStillRunsEveryPosition)
{
  __cudaRegisterFunction(module, key_of(contextless_stub), reinterpret_cast<char*>(&contextless_entry), "bare", -1,
                         nullptr, nullptr, nullptr, nullptr, nullptr);
  contextless_calls = 0;
  ASSERT_EQ(cudaConfigureCall(dim3(5, 3), dim3(2, 2, 2), 0, 0), cudaSuccess);
  ASSERT_EQ(cudaLaunch(key_of(contextless_stub)), cudaSuccess);
  EXPECT_EQ(contextless_calls, 5 * 3 * 2 * 2 * 2);
}

TEST_F(RuntimeTest, LaunchHandsThePlacedArgumentsToEveryPosition)
{
  const std::uint32_t first = 0xA1B2C3D4u;
  const std::int32_t second = -2;
  ASSERT_EQ(cudaConfigureCall(dim3(2), dim3(2), 0, 0), cudaSuccess);
  ASSERT_EQ(cudaSetupArgument(&second, 4, 4), cudaSuccess);
  ASSERT_EQ(cudaSetupArgument(&first, 4, 0), cudaSuccess);
  ASSERT_EQ(cudaLaunch(key_of(record_stub)), cudaSuccess);
  const unsigned char expected[8] = {0xD4, 0xC3, 0xB2, 0xA1, 0xFE, 0xFF, 0xFF, 0xFF};
  ASSERT_EQ(visits.size(), 4u);
  for (const Visit& v : visits)
    EXPECT_EQ(std::memcmp(v.arguments, expected, 8), 0);
}

TEST_F(RuntimeTest, LaunchConsumesItsConfigurationAndArguments)
{
  const std::uint32_t value = 7;
  ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1), 0, 0), cudaSuccess);
  ASSERT_EQ(cudaSetupArgument(&value, 4, 0), cudaSuccess);
  ASSERT_EQ(cudaLaunch(key_of(record_stub)), cudaSuccess);
  EXPECT_EQ(cudaLaunch(key_of(record_stub)), cudaErrorMissingConfiguration);
  EXPECT_EQ(cudaSetupArgument(&value, 4, 0), cudaErrorMissingConfiguration);

  ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1), 0, 0), cudaSuccess);
  ASSERT_EQ(cudaLaunch(key_of(record_stub)), cudaSuccess);
  ASSERT_EQ(visits.size(), 2u);
  EXPECT_EQ(visits[1].arguments[0], 0); // a new configuration starts with a clear block
}

TEST_F(RuntimeTest, RejectedLaunchLeavesTheConfigurationForTheNextOne)
{
  ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(2), 0, 0), cudaSuccess);
  EXPECT_EQ(cudaLaunch(key_of(never_registered_stub)), cudaErrorInvalidDeviceFunction);
  EXPECT_EQ(cudaLaunch(key_of(record_stub)), cudaSuccess);
  EXPECT_EQ(visits.size(), 2u);
}

TEST_F(RuntimeTest, UnregisteredModuleTakesItsKernelsAlong)
{
  __cudaUnregisterFatBinary(module);
  ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1), 0, 0), cudaSuccess);
  EXPECT_EQ(cudaLaunch(key_of(record_stub)), cudaErrorInvalidDeviceFunction);
  module = __cudaRegisterFatBinary(nullptr); // for TearDown
}

struct ConfigurationCase {
  dim3 grid;
  dim3 block;
  size_t shared_memory;
  cudaError_t expected;
};

class ConfigurationTest : public testing::TestWithParam<ConfigurationCase> {};

TEST_P(ConfigurationTest, FollowsTheDeviceProfile)
{
  const ConfigurationCase& c = GetParam();
  EXPECT_EQ(cudaConfigureCall(c.grid, c.block, c.shared_memory, 0), c.expected);
  EXPECT_EQ(cudaGetLastError(), c.expected); // failures are recorded, success leaves none
}

INSTANTIATE_TEST_SUITE_P(Profile, ConfigurationTest,
                         testing::Values(ConfigurationCase{dim3(2500), dim3(4), 0, cudaSuccess},
                                         ConfigurationCase{dim3(65535, 65535), dim3(512), 16384, cudaSuccess},
                                         ConfigurationCase{dim3(1), dim3(1, 512), 0, cudaSuccess},
                                         ConfigurationCase{dim3(1), dim3(8, 1, 64), 0, cudaSuccess},
                                         ConfigurationCase{dim3(1), dim3(513), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(1), dim3(1, 513), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(1), dim3(1, 1, 65), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(1), dim3(32, 16, 2), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(1), dim3(0), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(0), dim3(1), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(65536), dim3(1), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(1, 65536), dim3(1), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(1, 1, 2), dim3(1), 0, cudaErrorInvalidConfiguration},
                                         ConfigurationCase{dim3(1), dim3(1), 16385, cudaErrorInvalidConfiguration}),
                         [](const auto& info) {
                           const ConfigurationCase& c = info.param;
                           return "grid_" + std::to_string(c.grid.x) + "_" + std::to_string(c.grid.y) + "_" +
                                  std::to_string(c.grid.z) + "_block_" + std::to_string(c.block.x) + "_" +
                                  std::to_string(c.block.y) + "_" + std::to_string(c.block.z) + "_shared_" +
                                  std::to_string(c.shared_memory);
                         });

TEST_F(RuntimeTest, MisuseIsRefusedWithItsStatus)
{
  const std::uint32_t word = 1;
  EXPECT_EQ(cudaSetupArgument(&word, 4, 0), cudaErrorMissingConfiguration);
  EXPECT_EQ(cudaLaunch(key_of(record_stub)), cudaErrorMissingConfiguration);
  EXPECT_EQ(cudaConfigureCall(dim3(1), dim3(1), 0, 1), cudaErrorInvalidValue); // no such stream

  ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1), 0, 0), cudaSuccess);
  EXPECT_EQ(cudaSetupArgument(&word, 4, 252), cudaSuccess); // ends exactly at the block's end
  EXPECT_EQ(cudaSetupArgument(&word, 4, 253), cudaErrorInvalidValue);
  EXPECT_EQ(cudaSetupArgument(&word, SIZE_MAX, 1), cudaErrorInvalidValue);
  EXPECT_EQ(cudaSetupArgument(nullptr, 4, 0), cudaErrorInvalidValue);
  EXPECT_EQ(cudaLaunch(nullptr), cudaErrorInvalidDeviceFunction);
  EXPECT_EQ(cudaGetLastError(), cudaErrorInvalidDeviceFunction);
  EXPECT_EQ(cudaGetLastError(), cudaSuccess); // reading clears it
}

TEST_F(RuntimeTest, DeviceAddressesAreNonZeroAlignedAndThirtyTwoBit)
{
  void* first = allocate(40000);
  void* second = allocate(1);
  for (void* device : {first, second}) {
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(device);
    EXPECT_NE(address, 0u);
    EXPECT_EQ(address % 256, 0u);
    EXPECT_LE(address, 0xFFFFFFFFu);
  }
  EXPECT_NE(first, second);
}

TEST_F(RuntimeTest, CopiesRoundTripThroughTheDevice)
{
  float values[4] = {1.0f, 2.0f, 3.0f, 4.0f};
  float back[4] = {};
  char* a = static_cast<char*>(allocate(sizeof values));
  char* b = static_cast<char*>(allocate(sizeof values));
  ASSERT_EQ(cudaMemcpy(a, values, sizeof values, cudaMemcpyHostToDevice), cudaSuccess);
  ASSERT_EQ(cudaMemcpy(b + 4, a, 12, cudaMemcpyDeviceToDevice), cudaSuccess);
  ASSERT_EQ(cudaMemcpy(back, b, sizeof back, cudaMemcpyDeviceToHost), cudaSuccess);
  EXPECT_EQ(back[1], 1.0f);
  EXPECT_EQ(back[3], 3.0f);
  ASSERT_EQ(cudaMemcpy(back, values, sizeof back, cudaMemcpyHostToHost), cudaSuccess);
  EXPECT_EQ(back[0], 1.0f);
}

TEST_F(RuntimeTest, CopiesAreCheckedAgainstLiveAllocations)
{
  char host[64] = {};
  char* device = static_cast<char*>(allocate(40));
  EXPECT_EQ(cudaMemcpy(device, host, 40, static_cast<cudaMemcpyKind>(4)), cudaErrorInvalidMemcpyDirection);
  EXPECT_EQ(cudaMemcpy(device, host, 40, cudaMemcpyHostToDevice), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(device, host, 41, cudaMemcpyHostToDevice), cudaErrorInvalidValue);
  EXPECT_EQ(cudaMemcpy(device + 40, host, 0, cudaMemcpyHostToDevice), cudaErrorInvalidDevicePointer);
  EXPECT_EQ(cudaMemcpy(device + 39, host, 1, cudaMemcpyHostToDevice), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(device, host, 0, cudaMemcpyHostToDevice), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(host, device - 256, 4, cudaMemcpyDeviceToHost), cudaErrorInvalidDevicePointer);
  EXPECT_EQ(cudaMemcpy(host, host + 32, 4, cudaMemcpyDeviceToHost), cudaErrorInvalidDevicePointer);
  EXPECT_EQ(cudaMemcpy(nullptr, device, 4, cudaMemcpyDeviceToHost), cudaErrorInvalidValue);
  EXPECT_EQ(cudaMemcpy(device, nullptr, 4, cudaMemcpyHostToDevice), cudaErrorInvalidValue);

  void* freed = nullptr;
  ASSERT_EQ(cudaMalloc(&freed, 16), cudaSuccess);
  ASSERT_EQ(cudaFree(freed), cudaSuccess);
  EXPECT_EQ(cudaMemcpy(freed, host, 4, cudaMemcpyHostToDevice), cudaErrorInvalidDevicePointer);
}

TEST_F(RuntimeTest, FreeAcceptsOnlyLiveAllocationsAndNull)
{
  void* device = nullptr;
  ASSERT_EQ(cudaMalloc(&device, 100), cudaSuccess);
  EXPECT_EQ(cudaFree(static_cast<char*>(device) + 4), cudaErrorInvalidDevicePointer);
  EXPECT_EQ(cudaFree(device), cudaSuccess);
  EXPECT_EQ(cudaFree(device), cudaErrorInvalidDevicePointer);
  EXPECT_EQ(cudaFree(nullptr), cudaSuccess);
  EXPECT_EQ(cudaMalloc(nullptr, 4), cudaErrorInvalidValue);
}

TEST_F(RuntimeTest, ExhaustedDeviceMemoryRecoversWhenFreed)
{
  void* device = nullptr;
  EXPECT_EQ(cudaMalloc(&device, size_t{1} << 40), cudaErrorMemoryAllocation);
  std::vector<void*> blocks;
  while (cudaMalloc(&device, size_t{16} << 20) == cudaSuccess)
    blocks.push_back(device);
  EXPECT_EQ(cudaGetLastError(), cudaErrorMemoryAllocation);
  EXPECT_GE(blocks.size(), 8u);
  EXPECT_LT(blocks.size(), 64u);
  for (void* block : blocks)
    ASSERT_EQ(cudaFree(block), cudaSuccess);
  EXPECT_EQ(cudaMalloc(&device, size_t{16} << 20), cudaSuccess);
  allocations.push_back(device);
}

TEST(RuntimeDeathTest, HostCodeCannotDereferenceADeviceAddress)
{
  void* device = nullptr;
  ASSERT_EQ(cudaMalloc(&device, 64), cudaSuccess);
  EXPECT_DEATH(*static_cast<volatile int*>(device) = 1, "");
  cudaFree(device);
}

TEST(RuntimeErrorTextTest, NamesEveryStatus)
{
  EXPECT_STREQ(cudaGetErrorString(cudaSuccess), "no error");
  EXPECT_STREQ(cudaGetErrorString(cudaErrorInvalidDevicePointer), "invalid device pointer");
  EXPECT_STREQ(cudaGetErrorString(static_cast<cudaError_t>(999)), "unknown error");
}

} // namespace
