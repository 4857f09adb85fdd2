// Runs the built program as a child process with real redirections.
#ifndef TESTS_RUN_PROGRAM_H
#define TESTS_RUN_PROGRAM_H

#include <string>
#include <vector>

struct ProgramRun {
  int exit_status = -1; // -1 unless the program exited normally
  std::string out;
  std::string err;
};

// Runs the program with `environment` added to ours, standard input from
// `input_path`, standard output and error each to a file of their own.
ProgramRun run_program(const std::vector<std::string>& environment = {}, const char* input_path = "/dev/null");

// The bytes of a file.
std::string read_file(const std::string& path);

#endif
