// The built program run as a process, its output redirected to files.
#include "run_program.h"
#include "test_names.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// The program's texts as the Windows-1251 bytes it writes to files and pipes.
const std::string notice = "\xD0\xE5\xE6\xE8\xEC\x20\xFD\xEC\xF3\xEB\xFF\xF6\xE8\xE8\r\n";
const std::string result_text = "\xC7\xED\xE0\xF7\xE5\xED\xE8\xE5\x20\xE8\xED\xF2\xE5\xE3\xF0\xE0\xEB\xE0 ";
const std::string result_line = result_text + "3,1415927\r\n";
// The pause's prompt, then the line end it writes once the wait is over.
const std::string pause_text = "\xC4\xEB\xFF \xEF\xF0\xEE\xE4\xEE\xEB\xE6\xE5\xED\xE8\xFF \xED\xE0\xE6\xEC\xE8\xF2\xE5 "
                               "\xEB\xFE\xE1\xF3\xFE \xEA\xEB\xE0\xE2\xE8\xF8\xF3 . . . \r\n";

struct RedirectionCase {
  const char* name;
  Output output;
  const char* out; // which texts, in order: n notice, r result, p pause
  const char* err;
};

std::string texts(const char* order)
{
  std::string bytes;
  for (const char* c = order; *c != '\0'; ++c)
    bytes += *c == 'n' ? notice : *c == 'r' ? result_line : pause_text;
  return bytes;
}

class ProgramRedirectionTest : public testing::TestWithParam<RedirectionCase> {};

// Redirected streams are buffered to the end, standard output first; the
// pause writes straight through, so it comes first.
TEST_P(ProgramRedirectionTest, WritesTheExactBytesInOrder)
{
  ProgramOptions options;
  options.output = GetParam().output;
  const ProgramRun run = run_program(options);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, texts(GetParam().out));
  EXPECT_EQ(run.err, texts(GetParam().err));
}

INSTANTIATE_TEST_SUITE_P(Streams, ProgramRedirectionTest,
                         testing::Values(RedirectionCase{"separate_files", Output::SeparateFiles, "pr", "n"},
                                         RedirectionCase{"one_file", Output::OneFile, "prn", ""},
                                         RedirectionCase{"pipes", Output::Pipes, "pr", "n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramInputTest, PauseReturnsAtEndOfInputOrWithoutInput)
{
  for (Input input : {Input::Empty, Input::Closed}) {
    ProgramOptions options;
    options.input = input;
    const ProgramRun run = run_program(options);
    EXPECT_EQ(run.exit_status, 0);
    EXPECT_EQ(run.out, pause_text + result_line);
  }
}

TEST(ProgramInputTest, PauseTakesOneByteOfPipedInput)
{
  ProgramOptions options;
  options.input = Input::Pipe;
  options.piped_input = "xyz";
  const ProgramRun run = run_program(options);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.input_left, "yz");
}

// "Ошибка: запись результата: <the C library's text>"
TEST(ProgramOutputTest, UnwritableResultFailsTheRun)
{
  const std::string failure = "\xCE\xF8\xE8\xE1\xEA\xE0: \xE7\xE0\xEF\xE8\xF1\xFC "
                              "\xF0\xE5\xE7\xF3\xEB\xFC\xF2\xE0\xF2\xE0: ";
  for (const auto& [output, reason] :
       {std::pair{Output::Full, "No space left on device"}, std::pair{Output::Closed, "Bad file descriptor"}}) {
    ProgramOptions options;
    options.output = output;
    const ProgramRun run = run_program(options);
    EXPECT_EQ(run.exit_status, 1);
    EXPECT_EQ(run.err, notice + failure + reason + "\r\n");
  }
}

struct FailureCase {
  const char* injected;
  const char* message; // the one line it must write after the notice
};

class ProgramFailureTest : public testing::TestWithParam<FailureCase> {};

TEST_P(ProgramFailureTest, ReportsTheStepPrintsNoResultAndExitsOne)
{
  ProgramOptions options;
  options.environment = {std::string("CUDART_EMU_FAIL=") + GetParam().injected};
  const ProgramRun run = run_program(options);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, pause_text) << "the pause, and no result";
  EXPECT_EQ(run.err, notice + GetParam().message);
}

// "Ошибка: <step> (<call>): <the runtime's error text>"
INSTANTIATE_TEST_SUITE_P(
    InjectedFailures, ProgramFailureTest,
    testing::Values(
        FailureCase{"cudaMalloc=2",
                    "\xCE\xF8\xE8\xE1\xEA\xE0: \xE2\xFB\xE4\xE5\xEB\xE5\xED\xE8\xE5 \xEF\xE0\xEC\xFF\xF2\xE8 "
                    "\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0 (cudaMalloc): out of memory\r\n"},
        FailureCase{"cudaMemcpy#1=17",
                    "\xCE\xF8\xE8\xE1\xEA\xE0: \xEA\xEE\xEF\xE8\xF0\xEE\xE2\xE0\xED\xE8\xE5 \xED\xE0 "
                    "\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xEE (cudaMemcpy): invalid device pointer\r\n"},
        FailureCase{"cudaConfigureCall=9",
                    "\xCE\xF8\xE8\xE1\xEA\xE0: \xED\xE0\xF1\xF2\xF0\xEE\xE9\xEA\xE0 \xE7\xE0\xEF\xF3\xF1\xEA\xE0 "
                    "(cudaConfigureCall): invalid configuration argument\r\n"},
        FailureCase{"cudaSetupArgument#1=11", "\xCE\xF8\xE8\xE1\xEA\xE0: \xE7\xE0\xEF\xF3\xF1\xEA \xFF\xE4\xF0\xE0 "
                                              "calc (cudaSetupArgument, cudaLaunch): invalid argument\r\n"},
        FailureCase{"cudaSetupArgument#2=11", "\xCE\xF8\xE8\xE1\xEA\xE0: \xE7\xE0\xEF\xF3\xF1\xEA \xFF\xE4\xF0\xE0 "
                                              "calc (cudaSetupArgument, cudaLaunch): invalid argument\r\n"},
        FailureCase{"cudaLaunch=8", "\xCE\xF8\xE8\xE1\xEA\xE0: \xE7\xE0\xEF\xF3\xF1\xEA \xFF\xE4\xF0\xE0 calc "
                                    "(cudaSetupArgument, cudaLaunch): invalid device function\r\n"},
        FailureCase{"cudaMemcpy#2=4",
                    "\xCE\xF8\xE8\xE1\xEA\xE0: \xEA\xEE\xEF\xE8\xF0\xEE\xE2\xE0\xED\xE8\xE5 \xF1 "
                    "\xF3\xF1\xF2\xF0\xEE\xE9\xF1\xF2\xE2\xE0 (cudaMemcpy): unspecified launch failure\r\n"}),
    [](const auto& info) { return test_name(info.param.injected); });

TEST(ProgramTest, RefusedHostBufferIsReportedLikeTheOtherSteps)
{
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the sanitizer owns malloc";
#endif
  ProgramOptions options;
  options.environment = {"LD_PRELOAD=" FAIL_RESULT_MALLOC};
  const ProgramRun run = run_program(options);
  EXPECT_EQ(run.exit_status, 1);
  EXPECT_EQ(run.out, pause_text);
  // "Ошибка: выделение памяти узла (malloc): недостаточно памяти"
  EXPECT_EQ(run.err, notice + "\xCE\xF8\xE8\xE1\xEA\xE0: \xE2\xFB\xE4\xE5\xEB\xE5\xED\xE8\xE5 "
                              "\xEF\xE0\xEC\xFF\xF2\xE8 \xF3\xE7\xEB\xE0 (malloc): "
                              "\xED\xE5\xE4\xEE\xF1\xF2\xE0\xF2\xEE\xF7\xED\xEE \xEF\xE0\xEC\xFF\xF2\xE8\r\n");
}

TEST(ProgramTest, InjectionOfALaterCallLeavesTheRunWhole)
{
  // The program makes one cudaMalloc; failing a second one changes nothing.
  ProgramOptions options;
  options.environment = {"CUDART_EMU_FAIL=cudaMalloc#2=2"};
  const ProgramRun run = run_program(options);
  EXPECT_EQ(run.exit_status, 0);
  EXPECT_EQ(run.out, pause_text + result_line);
}

} // namespace
