// Finding and reading VornSet.ini, seen from outside: which device gets the commands
// and at which rate, and what happens when there is no file to go by.
#include <gtest/gtest.h>

#include <unistd.h>

#include "tests/support/installed_program_posix.h"
#include "tests/support/serial_line_posix.h"

namespace vornset::testing_support {
namespace {

constexpr const char* kMissing =
    "VornSet.INI not found, COM port parameters cannot be set\r\n"
    // Longer than 80 columns: the terminal wraps it, so the program ends it only once.
    "Looked for VornSet.ini (case matters) in vornset's folder, ., ~/.config/vornset, /etc/vornset, PATH\r\n";
constexpr const char* kUnreadable = "VornSet.INI cannot be read, COM port parameters cannot be set\r\n";
constexpr const char* kHfReport = "HF Mode,   LP Filter in    PWR out\r\nFrequency   7.05 MHz\r\n";

class Settings : public testing::Test {
 protected:
  std::string settings_line() const { return "COM" + line.device_path() + "\r\nBAUD 4800\r\n"; }
  SerialLine line;
  InstalledProgram program{VORNSET_PROGRAM};
};

TEST_F(Settings, MissingFileIsReportedAfterTheReportWithAPauseThatCtrlCDoesNotShorten) {
  RunOptions options = program.options({"7.05"});
  options.interrupt_after_milliseconds = 300;
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(visible_text(run.terminal), std::string(kHfReport) + kMissing);
  EXPECT_GE(run.seconds, 2.0);
  EXPECT_LT(run.seconds, 5.0);
  EXPECT_EQ(line.received(), "");
}

TEST_F(Settings, AFileThatCannotBeReadIsNotReplacedByDefaults) {
  // A regular file whose every read fails.
  ASSERT_EQ(symlink("/proc/self/mem", (program.program_directory() + "/VornSet.ini").c_str()), 0);
  const ProgramRun run = program.run({"7.05"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(visible_text(run.terminal), std::string(kHfReport) + kUnreadable);
  EXPECT_GE(run.seconds, 2.0);
}

TEST_F(Settings, ADirectoryInTheFirstPlaceCountsAsMissingWhateverLaterPlacesHold) {
  program.scratch().make_directory("bin/VornSet.ini");
  program.scratch().write_file("work/VornSet.ini", settings_line());
  const ProgramRun run = program.run({});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(visible_text(run.terminal), std::string("HF Mode,   LP Filter in    PWR out\r\n") + kMissing);
  EXPECT_EQ(line.received(), "");
}

TEST_F(Settings, TheFileBesideTheProgramComesBeforeTheCurrentDirectory) {
  SerialLine other;
  program.write_settings_for(line.device_path());
  program.scratch().write_file("work/VornSet.ini", "COM" + other.device_path() + "\r\n");
  EXPECT_EQ(program.run({}).exit_code, 0);
  EXPECT_EQ(line.received(), "LP1;TT0;");
  EXPECT_EQ(other.received(), "");
}

TEST_F(Settings, LaterPlacesAreSearchedInOrder) {
  struct Place {
    const char* directory;    // inside the scratch directory
    const char* environment;  // variable that makes the run search there
  };
  for (const Place& place : {Place{"work", ""}, Place{"xdg/vornset", "XDG_CONFIG_HOME=xdg"},
                             Place{"home/.config/vornset", ""}, Place{"path2", "PATH=path1:path2"}}) {
    TempDirectory::write_file_at(program.scratch().make_directory(place.directory) + "/VornSet.ini",
                                 settings_line());
    RunOptions options = program.options({});
    std::string variable = place.environment;
    if (!variable.empty()) {
      const auto equals = variable.find('=');
      std::string value = variable.substr(equals + 1);
      std::string absolute;
      for (std::size_t from = 0; from <= value.size();) {
        const auto colon = std::min(value.find(':', from), value.size());
        if (!absolute.empty()) absolute += ':';
        absolute += program.scratch().file(value.substr(from, colon - from));
        from = colon + 1;
      }
      const std::string name = variable.substr(0, equals + 1);
      std::erase_if(options.environment, [&](const std::string& v) { return v.starts_with(name); });
      options.environment.push_back(name + absolute);
    }
    EXPECT_EQ(program.run_with(options).exit_code, 0) << place.directory;
    EXPECT_EQ(line.received(), "LP1;TT0;") << place.directory;
    const termios settings = line.device_settings();
    EXPECT_EQ(cfgetospeed(&settings), B4800) << place.directory;
    ASSERT_EQ(unlink(program.scratch().file(std::string(place.directory) + "/VornSet.ini").c_str()), 0);
  }
}

struct FileCase {
  const char* name;
  std::string (*contents)(const std::string& device);
  speed_t speed;
};

class SettingsFileRules : public testing::TestWithParam<FileCase> {};

TEST_P(SettingsFileRules, DecideDeviceAndRate) {
  SerialLine line;
  InstalledProgram program(VORNSET_PROGRAM);
  program.write_settings(GetParam().contents(line.device_path()));
  EXPECT_EQ(program.run({}).exit_code, 0);
  EXPECT_EQ(line.received(), "LP1;TT0;");
  const termios settings = line.device_settings();
  EXPECT_EQ(cfgetospeed(&settings), GetParam().speed);
}

// A device path padded with slashes to put a line end exactly where a test needs it.
std::string padded_port_line(const std::string& device, std::size_t length) {
  return "COM" + std::string(length - 3 - device.size(), '/') + device;
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsFileRules,
    testing::Values(
        FileCase{"CrLf", [](const std::string& d) { return "COM" + d + "\r\nBAUD 4800\r\n"; }, B4800},
        FileCase{"CrOnly", [](const std::string& d) { return "COM" + d + "\rBAUD 4800\r"; }, B4800},
        FileCase{"NoFinalLineEnd", [](const std::string& d) { return "COM" + d + "\r\nBAUD 4800"; }, B4800},
        FileCase{"Utf8Signature", [](const std::string& d) { return "\xEF\xBB\xBF" "COM" + d + "\r\nbaud 4800\r\n"; },
                 B4800},
        FileCase{"LaterLineWins", [](const std::string& d) { return "BAUD 4800\r\nCOM" + d + "\r\nBAUD 2400\r\n"; },
                 B2400},
        FileCase{"CtrlZEndsTheFile", [](const std::string& d) { return "COM" + d + "\r\n\x1A" "BAUD 4800\r\n"; },
                 B9600},
        FileCase{"CrLfSplitByTheBuffer",
                 [](const std::string& d) { return padded_port_line(d, 127) + "\r\nBAUD 4800\r\n"; }, B4800},
        FileCase{"CrAloneAtTheBufferEnd",
                 [](const std::string& d) { return padded_port_line(d, 127) + "\rBAUD 4800\r\n"; }, B4800},
        FileCase{"LongLineAcrossBuffers",
                 [](const std::string& d) { return padded_port_line(d, 700) + "\r\nBAUD 4800\r\n"; }, B4800}),
    [](const testing::TestParamInfo<FileCase>& row) { return std::string(row.param.name); });

TEST_F(Settings, LfAloneDoesNotEndALine) {
  program.write_settings("COM" + line.device_path() + "\nBAUD 4800\n");
  const ProgramRun run = program.run({});
  EXPECT_EQ(run.exit_code, 1);  // the port text runs on over the LF: no such device
  EXPECT_NE(visible_text(run.terminal).find("Serial port " + line.device_path() + "\xE2\x90\x8A" "BAUD 4800"),
            std::string::npos)
      << run.terminal;
  EXPECT_EQ(line.received(), "");
}

}  // namespace
}  // namespace vornset::testing_support
