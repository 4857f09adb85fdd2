// The binding against a recording stand-in for the runtime: what it registers,
// what it places in the argument block, and what it does when a call fails.
#include "calc.h"
#include "calc_binding.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Registration {
  void** module;
  const char* key;
  char* entry;
  std::string name;
  int thread_limit;
  uint3* tid;
  uint3* bid;
  dim3* bdim;
  dim3* gdim;
  int* wsize;
};

void* fake_module_cell = nullptr;
std::vector<Registration> registrations;
std::vector<std::string> calls;
std::array<unsigned char, 256> argument_block{};
cudaError_t setup_status[2] = {cudaSuccess, cudaSuccess};
int setup_calls = 0;
const char* launched_key = nullptr;

void reset_fake()
{
  calls.clear();
  argument_block.fill(0xEE);
  setup_status[0] = setup_status[1] = cudaSuccess;
  setup_calls = 0;
  launched_key = nullptr;
}

} // namespace

extern "C" {

void** __cudaRegisterFatBinary(void* image)
{
  calls.push_back(image == nullptr ? "register module (no image)" : "register module");
  return &fake_module_cell;
}

void __cudaUnregisterFatBinary(void** handle)
{
  std::fputs(handle == &fake_module_cell ? "unregistered the module\n" : "unregistered a stranger\n", stderr);
}

void __cudaRegisterFunction(void** module, const char* key, char* entry, const char* name, int thread_limit, uint3* tid,
                            uint3* bid, dim3* bdim, dim3* gdim, int* wsize)
{
  registrations.push_back({module, key, entry, name, thread_limit, tid, bid, bdim, gdim, wsize});
}

cudaError_t cudaSetupArgument(const void* arg, size_t size, size_t offset)
{
  calls.push_back("setup " + std::to_string(size) + "@" + std::to_string(offset));
  const cudaError_t status = setup_status[setup_calls++ % 2];
  if (status == cudaSuccess)
    std::memcpy(argument_block.data() + offset, arg, size);
  return status;
}

cudaError_t cudaLaunch(const char* entry)
{
  calls.push_back("launch");
  launched_key = entry;
  return cudaSuccess;
}

// The stand-in's device memory: device address 0x100 holds four floats.
alignas(float) char device_memory[0x100 + 4 * sizeof(float)];
char* __cudaEmuDeviceBase = device_memory;

} // extern "C"

namespace {

float* device_pointer(unsigned address)
{
  return reinterpret_cast<float*>(static_cast<std::uintptr_t>(address));
}

TEST(BindingTest, RegistersCalcBeforeMain)
{
  ASSERT_EQ(registrations.size(), 1u);
  const Registration& r = registrations[0];
  EXPECT_EQ(r.module, module_handle);
  EXPECT_EQ(r.module, &fake_module_cell);
  EXPECT_EQ(r.key, reinterpret_cast<const char*>(&calc_stub));
  EXPECT_EQ(r.entry, reinterpret_cast<char*>(&calc_entry));
  EXPECT_EQ(r.name, "_Z4calcPfi");
  EXPECT_EQ(r.thread_limit, -1);
  EXPECT_EQ(r.tid, &threadIdx);
  EXPECT_EQ(r.bid, &blockIdx);
  EXPECT_EQ(r.bdim, &blockDim);
  EXPECT_EQ(r.gdim, &gridDim);
  EXPECT_EQ(r.wsize, &warpSize);
}

TEST(BindingTest, PlacesAddressAndCountThenLaunchesByItsKey)
{
  reset_fake();
  calc_stub(device_pointer(0x12345600u), 10000);
  EXPECT_EQ(calls, (std::vector<std::string>{"setup 4@0", "setup 4@4", "launch"}));
  const unsigned char expected[8] = {0x00, 0x56, 0x34, 0x12, 0x10, 0x27, 0x00, 0x00};
  EXPECT_EQ(std::memcmp(argument_block.data(), expected, 8), 0);
  EXPECT_EQ(argument_block[8], 0xEE); // nothing past the 8 bytes
  EXPECT_EQ(launched_key, reinterpret_cast<const char*>(&calc_stub));
}

TEST(BindingTest, FailedPlacementEndsTheLaunchFunction)
{
  reset_fake();
  setup_status[0] = cudaErrorInvalidValue;
  calc_stub(device_pointer(0x100), 10000);
  EXPECT_EQ(calls, (std::vector<std::string>{"setup 4@0"}));

  reset_fake();
  setup_status[1] = cudaErrorInvalidValue;
  calc_stub(device_pointer(0x100), 10000);
  EXPECT_EQ(calls, (std::vector<std::string>{"setup 4@0", "setup 4@4"}));
}

TEST(BindingTest, DeviceEntryRunsCalcOnTheTranslatedAddress)
{
  const unsigned char block[8] = {0x00, 0x01, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00}; // a = 0x100, n = 2
  float* memory = reinterpret_cast<float*>(device_memory + 0x100);
  memory[0] = memory[1] = memory[2] = 1.0f;
  blockDim = dim3(4, 1, 1);
  blockIdx = uint3{0, 0, 0};
  for (unsigned t = 0; t < 4; ++t) {
    threadIdx = uint3{t, 0, 0};
    calc_entry(block);
  }
  EXPECT_EQ(memory[0], 2.0f);
  EXPECT_EQ(memory[1], 2.0f);
  EXPECT_EQ(memory[2], 1.0f); // past n
}

TEST(BindingDeathTest, UnregistersTheModuleOnceAtExit)
{
  EXPECT_EXIT(std::exit(0), testing::ExitedWithCode(0), testing::StrEq("unregistered the module\n"));
}

} // namespace
