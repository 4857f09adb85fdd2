#include "run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char** environ;

namespace {

std::string read_all(int fd)
{
  std::string bytes;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = read(fd, buffer, sizeof buffer)) > 0)
    bytes.append(buffer, static_cast<std::size_t>(got));
  return bytes;
}

std::string read_file(const std::string& path)
{
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0)
    return {};
  std::string bytes = read_all(fd);
  close(fd);
  return bytes;
}

} // namespace

ProgramRun run_program(const ProgramOptions& options)
{
  char directory_template[] = "/tmp/integral-run-XXXXXX";
  const std::string directory = mkdtemp(directory_template);
  const std::string out_path = directory + "/out";
  const std::string err_path = directory + "/err";

  std::vector<std::string> variables(options.environment);
  for (char** variable = environ; *variable != nullptr; ++variable)
    variables.emplace_back(*variable);
  std::vector<char*> envp;
  for (std::string& variable : variables)
    envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);

  int input_pipe[2] = {-1, -1};
  switch (options.input) {
  case Input::Empty:
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    break;
  case Input::Closed:
    posix_spawn_file_actions_addclose(&actions, 0);
    break;
  case Input::Pipe:
    if (pipe(input_pipe) != 0)
      return {};
    // A few bytes: the pipe holds them before anyone reads.
    if (write(input_pipe[1], options.piped_input.data(), options.piped_input.size()) < 0)
      return {};
    close(input_pipe[1]);
    posix_spawn_file_actions_adddup2(&actions, input_pipe[0], 0);
    break;
  }

  int out_pipe[2] = {-1, -1};
  int err_pipe[2] = {-1, -1};
  const int file_flags = O_WRONLY | O_CREAT | O_TRUNC;
  switch (options.output) {
  case Output::SeparateFiles:
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), file_flags, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), file_flags, 0600);
    break;
  case Output::OneFile:
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), file_flags, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    break;
  case Output::Pipes:
    if (pipe(out_pipe) != 0 || pipe(err_pipe) != 0)
      return {};
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err_pipe[1], 2);
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]})
      posix_spawn_file_actions_addclose(&actions, fd);
    break;
  case Output::Full:
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/full", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), file_flags, 0600);
    break;
  case Output::Closed:
    posix_spawn_file_actions_addclose(&actions, 1);
    posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), file_flags, 0600);
    break;
  }
  if (input_pipe[0] >= 0)
    posix_spawn_file_actions_addclose(&actions, input_pipe[0]);

  char program[] = INTEGRAL_PROGRAM;
  char* argv[] = {program, nullptr};
  ProgramRun run;
  pid_t child = 0;
  const bool started = posix_spawn(&child, program, &actions, nullptr, argv, envp.data()) == 0;
  posix_spawn_file_actions_destroy(&actions);
  if (options.output == Output::Pipes) {
    close(out_pipe[1]);
    close(err_pipe[1]);
    // Each stream's few bytes fit in its pipe, so reading one after the other cannot block the child.
    run.out = read_all(out_pipe[0]);
    run.err = read_all(err_pipe[0]);
    close(out_pipe[0]);
    close(err_pipe[0]);
  }
  if (started) {
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status))
      run.exit_status = WEXITSTATUS(status);
  }
  if (options.output != Output::Pipes) {
    run.out = read_file(out_path);
    run.err = read_file(err_path);
  }
  if (input_pipe[0] >= 0) {
    run.input_left = read_all(input_pipe[0]);
    close(input_pipe[0]);
  }
  unlink(out_path.c_str());
  unlink(err_path.c_str());
  rmdir(directory.c_str());
  return run;
}
