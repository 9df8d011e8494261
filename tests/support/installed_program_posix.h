#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tests/support/program_run_posix.h"
#include "tests/support/temp_directory_posix.h"

namespace vornset::testing_support {

// A copy of the program in a directory of its own, as a user installs it: the settings
// file beside it is the first one the program finds. Runs get a home directory and a
// PATH inside the scratch directory, so no settings file of the machine's can interfere.
class InstalledProgram {
 public:
  explicit InstalledProgram(const std::string& built_program);

  const TempDirectory& scratch() const { return scratch_; }
  const std::string& program_directory() const { return program_directory_; }
  const std::string& program() const { return program_; }

  // Writes VornSet.ini beside the program.
  void write_settings(std::string_view bytes) const;
  // A settings file beside the program that names `device` and the baud rate text.
  void write_settings_for(const std::string& device, std::string_view baud_text = " 19200") const;

  RunOptions options(std::vector<std::string> arguments) const;
  ProgramRun run(std::vector<std::string> arguments) const { return run_with(options(std::move(arguments))); }
  ProgramRun run_with(const RunOptions& options) const { return run_program(program_, options); }

 private:
  TempDirectory scratch_;
  std::string program_directory_;
  std::string program_;
};

// The terminal output without the colour resets that precede each piece of text.
std::string visible_text(std::string_view terminal);

}  // namespace vornset::testing_support
