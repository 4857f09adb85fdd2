// Runs the built program as a child process with real redirections.
#ifndef TESTS_RUN_PROGRAM_H
#define TESTS_RUN_PROGRAM_H

#include <string>
#include <vector>

enum class Input { Empty, Closed, Pipe };
enum class Output { SeparateFiles, OneFile, Pipes, Full, Closed };

struct ProgramOptions {
  std::vector<std::string> environment; // added to ours
  Input input = Input::Empty;
  std::string piped_input; // for Input::Pipe; the pipe is closed after it
  Output output = Output::SeparateFiles;
};

struct ProgramRun {
  int exit_status = -1; // -1 unless the program exited normally
  std::string out;      // for Output::OneFile, both streams
  std::string err;
  std::string input_left; // for Input::Pipe, what the program did not read
};

ProgramRun run_program(const ProgramOptions& options = {});

#endif
