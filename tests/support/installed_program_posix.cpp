#include "tests/support/installed_program_posix.h"

namespace vornset::testing_support {

InstalledProgram::InstalledProgram(const std::string& built_program)
    : program_directory_(scratch_.make_directory("bin")), program_(program_directory_ + "/vornset") {
  copy_file(built_program, program_);
  scratch_.make_directory("home");
  scratch_.make_directory("work");
}

void InstalledProgram::write_settings(std::string_view bytes) const {
  TempDirectory::write_file_at(program_directory_ + "/VornSet.ini", bytes);
}

void InstalledProgram::write_settings_for(const std::string& device, std::string_view baud_text) const {
  write_settings("COM" + device + "\r\nBAUD" + std::string(baud_text) + "\r\n");
}

RunOptions InstalledProgram::options(std::vector<std::string> arguments) const {
  RunOptions options;
  options.arguments = std::move(arguments);
  options.working_directory = scratch_.file("work");
  options.environment = {"HOME=" + scratch_.file("home"), "PATH=" + scratch_.file("work"), "LANG=C.UTF-8",
                         "TERM=xterm-256color"};
  return options;
}

std::string visible_text(std::string_view terminal) {
  static constexpr std::string_view kColourReset = "\x1b[0m";
  std::string text;
  for (std::size_t at = 0; at < terminal.size();) {
    if (terminal.substr(at, kColourReset.size()) == kColourReset) {
      at += kColourReset.size();
    } else {
      text += terminal[at++];
    }
  }
  return text;
}

}  // namespace vornset::testing_support
