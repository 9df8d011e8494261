#pragma once

#include <string>
#include <vector>

namespace vornset::testing_support {

// Where the program's standard output and standard error go.
enum class Streams {
  terminal,                   // both on the pseudo-terminal
  stdout_to_file,             // standard output redirected to a file, standard error on the terminal
  no_terminal,                // standard output and standard error each to a file of its own
  stdout_closed,              // standard output closed, standard error on the terminal
  stdout_full,                // standard output on /dev/full, standard error on the terminal
};

struct RunOptions {
  std::vector<std::string> arguments;    // argv[1..]
  std::string working_directory = "/";
  std::vector<std::string> environment;  // "NAME=value"; nothing else is passed on
  unsigned short columns = 80;
  unsigned short rows = 24;
  Streams streams = Streams::terminal;
  int interrupt_after_milliseconds = -1; // send SIGINT to the program this long after start
  int timeout_milliseconds = 20000;      // kill it if it runs longer
  // Root only: the program sees this directory at /run/lock and /var/lock, in a mount
  // namespace of its own, so that a test's lock files never meet the machine's.
  std::string lock_directory;
  // Root only: the program sees this directory at /sys, in the same mount namespace, so
  // that a test decides which serial ports the machine has.
  std::string sys_directory;
  // Root only: the program, and the name lookup it starts, see this file at /etc/hosts,
  // in the same mount namespace, so that a test decides what a name resolves to.
  std::string hosts_file;
  int user = -1;                         // when set, run as this user and group, no others
};

struct ProgramRun {
  int exit_code = -1;           // -1 when it did not exit normally
  bool timed_out = false;
  std::string terminal;         // every byte the program wrote to its terminal
  std::string stdout_file;      // what a redirected standard output received
  std::string stderr_file;      // what a redirected standard error received
  double seconds = 0;           // wall time from start to exit
};

// Runs `program` with a pseudo-terminal of the given size as its controlling terminal.
ProgramRun run_program(const std::string& program, const RunOptions& options);

}  // namespace vornset::testing_support
