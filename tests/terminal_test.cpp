// The program as a person meets it in a terminal: legible Russian, a wait for
// one key, and the terminal's settings as they were, however the wait ends.
#include "terminal_session.h"

#include <gtest/gtest.h>

#include <signal.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const std::string notice = "Режим эмуляции\r\n";
const std::string result_line = "Значение интеграла 3,1415927\r\n";
const std::string prompt = "Для продолжения нажмите любую клавишу . . . ";

bool same_settings(const termios& a, const termios& b)
{
  return a.c_iflag == b.c_iflag && a.c_oflag == b.c_oflag && a.c_cflag == b.c_cflag && a.c_lflag == b.c_lflag &&
         std::memcmp(a.c_cc, b.c_cc, sizeof a.c_cc) == 0;
}

bool waits_for_one_key(const termios& settings)
{
  return (settings.c_lflag & (ICANON | ECHO)) == 0 && settings.c_cc[VMIN] == 1;
}

class TerminalTest : public testing::Test {
protected:
  void SetUp() override
  {
    ASSERT_TRUE(start_session(session, {"LANG=C"}));
    before = terminal_settings(session);
    ASSERT_EQ(read_screen_until(session, prompt), notice + result_line + prompt);
    // Still waiting, and the terminal set for a single key without echo.
    ASSERT_EQ(next_event(session, 200), "");
    ASSERT_TRUE(waits_for_one_key(terminal_settings(session)));
  }
  void TearDown() override
  {
    end_session(session);
  }
  void type(const char* keys)
  {
    ASSERT_EQ(write(session.master, keys, std::strlen(keys)), static_cast<ssize_t>(std::strlen(keys)));
  }
  TerminalSession session;
  termios before{};
};

TEST_F(TerminalTest, OneKeyEndsTheWaitWithoutEcho)
{
  type("x");
  EXPECT_EQ(next_event(session), "exit 0");
  EXPECT_EQ(read_screen_until(session, "\r\n"), "\r\n"); // no 'x' shown
  EXPECT_TRUE(same_settings(terminal_settings(session), before));
}

TEST_F(TerminalTest, CtrlCEndsTheProgramWithTheSettingsRestored)
{
  type("\x03");
  EXPECT_EQ(next_event(session), "signal " + std::to_string(SIGINT));
  EXPECT_TRUE(same_settings(terminal_settings(session), before));
}

TEST_F(TerminalTest, SuspendedProgramGivesTheTerminalBackAndResumesTheWait)
{
  type("\x1a"); // Ctrl+Z
  ASSERT_EQ(next_event(session), "stopped");
  EXPECT_TRUE(same_settings(terminal_settings(session), before));

  kill(session.job, SIGCONT);
  ASSERT_EQ(next_event(session), "continued");
  for (int tries = 0; tries < 100 && !waits_for_one_key(terminal_settings(session)); ++tries)
    usleep(20000);
  EXPECT_TRUE(waits_for_one_key(terminal_settings(session)));

  type("x");
  EXPECT_EQ(next_event(session), "exit 0");
  EXPECT_TRUE(same_settings(terminal_settings(session), before));
}

struct CharsetCase {
  const char* name;
  const char* locale_variable;
  std::string notice; // as the terminal receives it
};

class TerminalCharsetTest : public testing::TestWithParam<CharsetCase> {};

TEST_P(TerminalCharsetTest, TextIsConvertedToTheCharsetTheEnvironmentNames)
{
  TerminalSession session;
  ASSERT_TRUE(start_session(session, {GetParam().locale_variable}));
  EXPECT_EQ(read_screen_until(session, GetParam().notice + "\r\n").substr(0, GetParam().notice.size() + 2),
            GetParam().notice + "\r\n");
  end_session(session);
}

INSTANTIATE_TEST_SUITE_P(Environments, TerminalCharsetTest,
                         testing::Values(CharsetCase{"posix_means_utf8", "LC_ALL=POSIX", "Режим эмуляции"},
                                         CharsetCase{"utf8_by_name", "LANG=ru_RU.UTF-8", "Режим эмуляции"},
                                         CharsetCase{"koi8r", "LC_CTYPE=ru_RU.KOI8-R",
                                                     "\xF2\xC5\xD6\xC9\xCD\x20\xDC\xCD\xD5\xCC\xD1\xC3\xC9\xC9"},
                                         CharsetCase{"cp1251", "LANG=ru_RU.CP1251",
                                                     "\xD0\xE5\xE6\xE8\xEC\x20\xFD\xEC\xF3\xEB\xFF\xF6\xE8\xE8"}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
