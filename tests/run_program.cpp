#include "run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

extern char** environ;

std::string read_file(const std::string& path)
{
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

ProgramRun run_program(const std::vector<std::string>& environment, const char* input_path)
{
  char directory_template[] = "/tmp/integral-run-XXXXXX";
  const std::string directory = mkdtemp(directory_template);
  const std::string out_path = directory + "/out";
  const std::string err_path = directory + "/err";

  std::vector<std::string> variables(environment);
  for (char** variable = environ; *variable != nullptr; ++variable)
    variables.emplace_back(*variable);
  std::vector<char*> envp;
  for (std::string& variable : variables)
    envp.push_back(variable.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, input_path, O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);

  char program[] = INTEGRAL_PROGRAM;
  char* argv[] = {program, nullptr};
  ProgramRun run;
  pid_t child = 0;
  if (posix_spawn(&child, program, &actions, nullptr, argv, envp.data()) == 0) {
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status))
      run.exit_status = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.out = read_file(out_path);
  run.err = read_file(err_path);
  unlink(out_path.c_str());
  unlink(err_path.c_str());
  rmdir(directory.c_str());
  return run;
}
