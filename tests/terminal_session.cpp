#include "terminal_session.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace {

void report(int fd, const std::string& text)
{
  const std::string line = text + "\n";
  if (write(fd, line.data(), line.size()) < 0)
    _exit(126);
}

// The session's shell: puts the job in the foreground and reports on it.
[[noreturn]] void run_shell(int terminal, int master, int events, const std::vector<std::string>& environment)
{
  close(master);
  setsid();
  ioctl(terminal, TIOCSCTTY, 0);
  const pid_t job = fork();
  if (job == 0) {
    setpgid(0, 0);
    signal(SIGTTOU, SIG_IGN);
    tcsetpgrp(terminal, getpid());
    signal(SIGTTOU, SIG_DFL);
    dup2(terminal, 0);
    dup2(terminal, 1);
    dup2(terminal, 2);
    close(terminal);
    close(events);
    std::vector<char*> envp;
    std::vector<std::string> variables(environment);
    for (std::string& variable : variables)
      envp.push_back(variable.data());
    envp.push_back(nullptr);
    char program[] = INTEGRAL_PROGRAM;
    char* argv[] = {program, nullptr};
    execve(program, argv, envp.data());
    _exit(127);
  }
  report(events, "job " + std::to_string(job));
  for (;;) {
    int status = 0;
    if (waitpid(job, &status, WUNTRACED | WCONTINUED) < 0)
      _exit(1);
    if (WIFSTOPPED(status))
      report(events, "stopped");
    else if (WIFCONTINUED(status))
      report(events, "continued");
    else if (WIFEXITED(status)) {
      report(events, "exit " + std::to_string(WEXITSTATUS(status)));
      _exit(0);
    } else if (WIFSIGNALED(status)) {
      report(events, "signal " + std::to_string(WTERMSIG(status)));
      _exit(0);
    }
  }
}

} // namespace

bool start_session(TerminalSession& session, const std::vector<std::string>& environment)
{
  int events[2];
  if (openpty(&session.master, &session.terminal, nullptr, nullptr, nullptr) != 0 || pipe(events) != 0)
    return false;
  session.shell = fork();
  if (session.shell == 0) {
    close(events[0]);
    run_shell(session.terminal, session.master, events[1], environment);
  }
  close(events[1]);
  session.events = events[0];
  const std::string started = next_event(session);
  if (started.rfind("job ", 0) != 0)
    return false;
  session.job = static_cast<pid_t>(std::stol(started.substr(4)));
  return true;
}

std::string read_screen_until(TerminalSession& session, const std::string& expected)
{
  std::string screen;
  for (int waited = 0; screen.find(expected) == std::string::npos && waited < 5000; waited += 50) {
    pollfd ready{session.master, POLLIN, 0};
    if (poll(&ready, 1, 50) <= 0)
      continue;
    char buffer[1024];
    const ssize_t got = read(session.master, buffer, sizeof buffer);
    if (got <= 0)
      break;
    screen.append(buffer, static_cast<std::size_t>(got));
  }
  return screen;
}

std::string next_event(TerminalSession& session, int milliseconds)
{
  std::string line;
  char c = 0;
  pollfd ready{session.events, POLLIN, 0};
  while (poll(&ready, 1, milliseconds) > 0 && read(session.events, &c, 1) == 1 && c != '\n')
    line += c;
  return line;
}

termios terminal_settings(const TerminalSession& session)
{
  termios settings{};
  tcgetattr(session.terminal, &settings);
  return settings;
}

void end_session(TerminalSession& session)
{
  if (session.job > 0)
    kill(session.job, SIGKILL);
  if (session.shell > 0)
    waitpid(session.shell, nullptr, 0);
  for (int fd : {session.master, session.terminal, session.events})
    if (fd >= 0)
      close(fd);
  session = TerminalSession{};
}
