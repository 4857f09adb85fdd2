// The command processor's "pause": a prompt, then one key press, taken without
// Enter and without echo. The terminal's settings are put back however the
// wait ends: a key, end of input, Ctrl+C, or a suspension and resumption.
#include "console.h"

#include "terminal_charset.h"

#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// "Для продолжения нажмите любую клавишу . . . "
constexpr char prompt[] = "\xC4\xEB\xFF \xEF\xF0\xEE\xE4\xEE\xEB\xE6\xE5\xED\xE8\xFF \xED\xE0\xE6\xEC\xE8\xF2\xE5 "
                          "\xEB\xFE\xE1\xF3\xFE \xEA\xEB\xE0\xE2\xE8\xF8\xF3 . . . ";

termios saved_settings;
termios key_settings;

bool output_is_terminal()
{
  return isatty(STDOUT_FILENO) == 1;
}

// Straight to the descriptor: ahead of anything standard output still buffers.
void write_out(const char* bytes, std::size_t length)
{
  std::size_t done = 0;
  while (done < length) {
    const ssize_t written = write(STDOUT_FILENO, bytes + done, length - done);
    if (written < 0 && errno == EINTR)
      continue;
    if (written <= 0)
      return;
    done += static_cast<std::size_t>(written);
  }
}

void show_prompt()
{
  if (!output_is_terminal()) {
    write_out(prompt, sizeof prompt - 1);
    return;
  }
  char shown[4 * sizeof prompt];
  write_out(shown, to_terminal(prompt, sizeof prompt - 1, shown, sizeof shown));
}

void end_line()
{
  const char* line_end = output_is_terminal() ? "\n" : "\r\n";
  write_out(line_end, std::strlen(line_end));
}

void restore_settings()
{
  tcsetattr(STDIN_FILENO, TCSANOW, &saved_settings);
}

// Ctrl+C and its kin end the process as they would have, settings restored.
void on_termination(int signal_number)
{
  restore_settings();
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// Ctrl+Z: hand the terminal back as it was, stop, and on resumption take up
// the wait again.
void on_stop(int)
{
  restore_settings();
  signal(SIGTSTP, SIG_DFL);
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTSTP);
  sigprocmask(SIG_UNBLOCK, &stop, nullptr);
  raise(SIGTSTP);
  // Resumed.
  struct sigaction action = {};
  action.sa_handler = on_stop;
  sigaction(SIGTSTP, &action, nullptr);
  tcsetattr(STDIN_FILENO, TCSANOW, &key_settings);
}

constexpr int handled_signals[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP};
constexpr int handled_count = sizeof handled_signals / sizeof handled_signals[0];

// Signals the process ignores stay ignored.
void handle_signals(struct sigaction* previous)
{
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < handled_count; ++i) {
    sigaction(handled_signals[i], nullptr, &previous[i]);
    if (previous[i].sa_handler == SIG_IGN)
      continue;
    action.sa_handler = handled_signals[i] == SIGTSTP ? on_stop : on_termination;
    sigaction(handled_signals[i], &action, nullptr);
  }
}

void restore_signals(const struct sigaction* previous)
{
  for (int i = 0; i < handled_count; ++i)
    sigaction(handled_signals[i], &previous[i], nullptr);
}

// One byte from standard input: its end, an error or a closed descriptor end
// the wait as a key would.
void read_one_byte()
{
  char key = 0;
  while (read(STDIN_FILENO, &key, 1) < 0 && errno == EINTR) {
  }
}

} // namespace

void console_pause()
{
  show_prompt();
  if (tcgetattr(STDIN_FILENO, &saved_settings) != 0) {
    read_one_byte();
    end_line();
    return;
  }
  key_settings = saved_settings;
  key_settings.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  key_settings.c_cc[VMIN] = 1;
  key_settings.c_cc[VTIME] = 0;

  struct sigaction previous[handled_count];
  handle_signals(previous);
  tcsetattr(STDIN_FILENO, TCSANOW, &key_settings);
  read_one_byte();
  restore_settings();
  restore_signals(previous);
  end_line();
}
