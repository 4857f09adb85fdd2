// The built program run as a process, its output redirected to files.
#include "run_program.h"
#include "test_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The program's texts as the Windows-1251 bytes it writes.
const std::string notice = "\xD0\xE5\xE6\xE8\xEC\x20\xFD\xEC\xF3\xEB\xFF\xF6\xE8\xE8\n";
const std::string result_text = "\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\x20\xE8\xED\xF2\xE5\xE3\xF0\xE0\xEB\xE0 ";

TEST(ProgramTest, PrintsTheIntegralAndExitsZero)
{
  const ProgramRun run = run_program();
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.err, notice);
  EXPECT_EQ(run.out, result_text + "3.1415927\n");
}

struct FailureCase {
  const char* injected;
  const char* message; // the one line it must write after the notice
};

class ProgramFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(ProgramFailureTest, ReportsTheStepPrintsNoResultAndExitsOne)
{
  const ProgramRun run = run_program({std::string("CUDART_EMU_FAIL=") + GetParam().injected});
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out.find(result_text), std::string::npos) << run.out;
  EXPECT_EQ(run.err, notice + GetParam().message);
}

// "Ошибка: <step> (<call>): <the runtime's error text>"
INSTANTIATE_TEST_SUITE_P(
    InjectedFailures, ProgramFailureTest,
    testing::Values(
        FailureCase{"cudaMalloc=2",
                    "\xCE\xF8\xE8\xE1\xEA\xE0: \xE2\xFB\xE4\xE5\xEB\xE5\xED\xE8\xE5 \xEF\xE0\xEC\xFF\xF2\xE8 "
                    "\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0 (cudaMalloc): out of memory\n"},
        FailureCase{"cudaMemcpy#1=17",
                    "\xCE\xF8\xE8\xE1\xEA\xE0: \xEA\xEE\xEF\xE8\xF0\xEE\xE2\xE0\xED\xE8\xE5 \xED\xE0 "
                    "\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE (cudaMemcpy): invalid device pointer\n"},
        FailureCase{"cudaConfigureCall=9",
                    "\xCE\xF8\xE8\xE1\xEA\xE0: \xED\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0 \xE7\xE0\xEF\xF3\xF1\xEA\xE0 "
                    "(cudaConfigureCall): invalid configuration argument\n"},
        FailureCase{"cudaSetupArgument#1=11", "\xCE\xF8\xE8\xE1\xEA\xE0: \xE7\xE0\xEF\xF3\xF1\xEA \xFF\xE4\xF0\xE0 "
                                              "calc (cudaSetupArgument, cudaLaunch): invalid argument\n"},
        FailureCase{"cudaSetupArgument#2=11", "\xCE\xF8\xE8\xE1\xEA\xE0: \xE7\xE0\xEF\xF3\xF1\xEA \xFF\xE4\xF0\xE0 "
                                              "calc (cudaSetupArgument, cudaLaunch): invalid argument\n"},
        FailureCase{"cudaLaunch=8", "\xCE\xF8\xE8\xE1\xEA\xE0: \xE7\xE0\xEF\xF3\xF1\xEA \xFF\xE4\xF0\xE0 calc "
                                    "(cudaSetupArgument, cudaLaunch): invalid device function\n"},
        FailureCase{"cudaMemcpy#2=4",
                    "\xCE\xF8\xE8\xE1\xEA\xE0: \xEA\xEE\xEF\xE8\xF0\xEE\xE2\xE0\xED\xE8\xE5 \xF1 "
                    "\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0 (cudaMemcpy): unspecified launch failure\n"}),
    [](const auto& info) { return test_name(info.param.injected); });

TEST(ProgramTest, InjectionOfALaterCallLeavesTheRunWhole)
{
  // The program makes one cudaMalloc; failing a second one changes nothing.
  const ProgramRun run = run_program({"CUDART_EMU_FAIL=cudaMalloc#2=2"});
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, result_text + "3.1415927\n");
}

} // namespace
