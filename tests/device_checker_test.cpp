// The device-memory checker: a kernel touching device memory it does not own
// stops the process with one line naming the kernel, the thread position, the
// address and the nearest allocation.
#include "cudart_emu.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

uint3 thread_index;
uint3 block_index;
dim3 block_extent;

// Position i < count of the launch writes element first + i of a float array.
void store_entry(const void* block)
{
  std::uint32_t address = 0;
  std::int32_t first = 0;
  std::int32_t count = 0;
  std::memcpy(&address, block, 4);
  std::memcpy(&first, static_cast<const unsigned char*>(block) + 4, 4);
  std::memcpy(&count, static_cast<const unsigned char*>(block) + 8, 4);
  float* a = static_cast<float*>(__cudaEmuHostPointer(address));
  const int i = static_cast<int>(block_index.x * block_extent.x + thread_index.x);
  if (i < count)
    a[first + i] = 1.0f;
}

void store_stub() {}

void launch_store(void* device, std::int32_t first, std::int32_t count)
{
  const std::uint32_t address = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(device));
  if (cudaConfigureCall(dim3((static_cast<unsigned>(count) + 3) / 4), dim3(4), 0, 0) != cudaSuccess ||
      cudaSetupArgument(&address, 4, 0) != cudaSuccess || cudaSetupArgument(&first, 4, 4) != cudaSuccess ||
      cudaSetupArgument(&count, 4, 8) != cudaSuccess || cudaLaunch(reinterpret_cast<const char*>(&store_stub)))
    std::abort();
}

std::string hex(std::uintptr_t value)
{
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(value));
  return text;
}

class DeviceCheckerTest : public testing::Test {
protected:
  void SetUp() override
  {
    module = __cudaRegisterFatBinary(nullptr);
    __cudaRegisterFunction(module, reinterpret_cast<const char*>(&store_stub), reinterpret_cast<char*>(&store_entry),
                           "store_ones", -1, &thread_index, &block_index, &block_extent, nullptr, nullptr);
  }
  void TearDown() override
  {
    __cudaUnregisterFatBinary(module);
  }
  void** module = nullptr;
};

bool stopped_by_checker(int status)
{
  return WIFEXITED(status) && WEXITSTATUS(status) == 70;
}

// The report's text as a regular expression matching only it.
std::string report(const char* position, std::uintptr_t address, const char* relation, std::uintptr_t allocation,
                   std::size_t size)
{
  const std::int64_t offset = static_cast<std::int64_t>(address) - static_cast<std::int64_t>(allocation);
  const std::string text = std::string("cudart_emu: device memory fault in kernel store_ones, ") + position +
                           ": address " + hex(address) + " is offset " + std::to_string(offset) + relation +
                           hex(allocation) + " (" + std::to_string(size) + " bytes)\n";
  std::string escaped = "^";
  for (char c : text) {
    if (std::strchr("()[]{}.*+?^$|\\", c) != nullptr)
      escaped += '\\';
    escaped += c;
  }
  return escaped;
}

struct PastEndCase {
  std::size_t floats;
  const char* position; // of the thread storing element `floats`
};

class PastTheEndTest : public DeviceCheckerTest, public testing::WithParamInterface<PastEndCase> {};

TEST_P(PastTheEndTest, OneElementPastTheEndIsStoppedThere)
{
  const PastEndCase& c = GetParam();
  setenv("CUDART_EMU_CHECK", "end", 1);
  void* device = nullptr;
  ASSERT_EQ(cudaMalloc(&device, c.floats * sizeof(float)), cudaSuccess);
  unsetenv("CUDART_EMU_CHECK");
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(device);
  const std::int32_t floats = static_cast<std::int32_t>(c.floats);
  launch_store(device, 0, floats); // every element, and no further: runs through
  EXPECT_EXIT(launch_store(device, 0, floats + 1), stopped_by_checker,
              report(c.position, address + c.floats * sizeof(float), ", past the end, of live allocation ", address,
                     c.floats * sizeof(float)));
  cudaFree(device);
}

// Sizes with a partial last page, a whole page, one float over a page.
INSTANTIATE_TEST_SUITE_P(Sizes, PastTheEndTest,
                         testing::Values(PastEndCase{10000, "block (2500, 0, 0) thread (0, 0, 0)"},
                                         PastEndCase{1, "block (0, 0, 0) thread (1, 0, 0)"},
                                         PastEndCase{1024, "block (256, 0, 0) thread (0, 0, 0)"},
                                         PastEndCase{1025, "block (256, 0, 0) thread (1, 0, 0)"}),
                         [](const auto& info) { return std::to_string(info.param.floats) + "_floats"; });

TEST_F(DeviceCheckerTest, BeforeTheStartIsStopped)
{
  void* device = nullptr;
  ASSERT_EQ(cudaMalloc(&device, 40000), cudaSuccess);
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(device);
  EXPECT_EXIT(launch_store(device, -1, 8), stopped_by_checker,
              report("block (0, 0, 0) thread (0, 0, 0)", address - 4, ", before the start, of live allocation ",
                     address, 40000));
  cudaFree(device);
}

TEST_F(DeviceCheckerTest, AFreedAddressIsStopped)
{
  void* device = nullptr;
  ASSERT_EQ(cudaMalloc(&device, 256), cudaSuccess);
  ASSERT_EQ(cudaFree(device), cudaSuccess);
  const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(device);
  EXPECT_EXIT(launch_store(device, 0, 4), stopped_by_checker,
              report("block (0, 0, 0) thread (0, 0, 0)", address, " of freed allocation ", address, 256));
}

void store_through_null(const void*)
{
  *static_cast<volatile int*>(nullptr) = 1;
}

TEST_F(DeviceCheckerTest, FaultsOutsideDeviceMemoryStayOrdinaryCrashes)
{
  __cudaRegisterFunction(module, reinterpret_cast<const char*>(&store_stub),
                         reinterpret_cast<char*>(&store_through_null), "store_null", -1, nullptr, nullptr, nullptr,
                         nullptr, nullptr);
  ASSERT_EQ(cudaConfigureCall(dim3(1), dim3(1), 0, 0), cudaSuccess);
  EXPECT_EXIT(
      cudaLaunch(reinterpret_cast<const char*>(&store_stub)),
      [](int status) { return status != 0 && !stopped_by_checker(status); }, "");
}

TEST_F(DeviceCheckerTest, FaultsBetweenLaunchesStayOrdinaryCrashes)
{
  void* device = nullptr;
  ASSERT_EQ(cudaMalloc(&device, 64), cudaSuccess);
  launch_store(device, 0, 16);
  ASSERT_EQ(cudaFree(device), cudaSuccess);
  volatile float* stale =
      static_cast<float*>(__cudaEmuHostPointer(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(device))));
  EXPECT_EXIT(
          *stale = 1.0f, [](int status) { return status != 0 && !stopped_by_checker(status); }, "");
}

} // namespace
