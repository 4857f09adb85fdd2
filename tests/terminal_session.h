// The built program on a pseudo-terminal, run as a job-control shell runs a
// foreground job: in a session of its own, with the terminal as its
// controlling terminal, its process group in the foreground.
#ifndef TESTS_TERMINAL_SESSION_H
#define TESTS_TERMINAL_SESSION_H

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

struct TerminalSession {
  int master = -1;   // the user's side: what is typed and what is shown
  int terminal = -1; // the program's side, kept open to read its settings
  int events = -1;   // job-state reports from the session's shell
  pid_t shell = -1;
  pid_t job = -1;
};

// Starts the program with exactly `environment`; false if it could not be started.
bool start_session(TerminalSession& session, const std::vector<std::string>& environment);
// Reads what the terminal shows until it holds `expected` or a few seconds pass.
std::string read_screen_until(TerminalSession& session, const std::string& expected);
// The next job-state report ("stopped", "continued", "exit N", "signal N"),
// or "" when none comes within `milliseconds`.
std::string next_event(TerminalSession& session, int milliseconds = 5000);
termios terminal_settings(const TerminalSession& session);
void end_session(TerminalSession& session);

#endif
