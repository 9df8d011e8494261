// Serial failures are never silent: each run that could not send says which device
// failed and why, and ends with exit code 1.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/support/installed_program_posix.h"
#include "tests/support/serial_line_posix.h"

namespace vornset::testing_support {
namespace {

constexpr const char* kHfLine = "HF Mode,   LP Filter in    PWR out\r\n";

class SerialFailures : public testing::Test {
 protected:
  SerialLine line;
  InstalledProgram program{VORNSET_PROGRAM};
};

TEST_F(SerialFailures, APortThatDoesNotExist) {
  program.write_settings("COM/dev/vornset-no-such-port\r\n");
  const ProgramRun run = program.run({});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(visible_text(run.terminal),
            std::string(kHfLine) + "Serial port /dev/vornset-no-such-port could not be opened (no such device)\r\n");
}

// A settings file that fails the run as new users write it: the line of today, then the
// file that was read and what to write instead. "@" stands for the port's device path.
struct SettingsMistake {
  const char* name;
  const char* settings;
  const char* failure;
  const char* fix;
};

class SettingsMistakes : public SerialFailures, public testing::WithParamInterface<SettingsMistake> {
 protected:
  std::string with_device(std::string text) const {
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
      text.replace(at, 1, line.device_path());
    }
    return text;
  }
};

// Without a terminal the line goes to standard error whole, as a log keeps it.
TEST_P(SettingsMistakes, NameTheFileAndTheFixBehindTheFailure) {
  program.write_settings(with_device(GetParam().settings));
  RunOptions options = program.options({});
  options.streams = Streams::no_terminal;
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: " + with_device(GetParam().failure) + "; VornSet.ini (" +
                                 program.program_directory() + ")" + with_device(GetParam().fix) + "\n");
  EXPECT_EQ(line.received(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsMistakes,
    testing::Values(
        SettingsMistake{"EqualsSign", "COM=3\r\n", "Serial port COM=3 could not be opened (no such device)",
                        ": write COM3, not COM=3"},
        SettingsMistake{"BlankBeforeThePath", "COM @\r\n", "Serial port COM @ could not be opened (no such device)",
                        ": write COM@, not COM @"},
        SettingsMistake{"BlankBehindThePath", "COM@ \r\n", "Serial port @  could not be opened (no such device)",
                        " has blanks behind COM@: end the line right behind the port"},
        SettingsMistake{"LfLineEnds", "COM@\nBAUD 4800\n",
                        "Serial port @\xE2\x90\x8A" "BAUD 4800\xE2\x90\x8A could not be opened (no such device)",
                        " has LF line ends: end each line with CR LF"},
        SettingsMistake{"RemarkTakenAsThePort", "COM@\r\n; communication settings\r\n",
                        "Serial port COMmunication settings could not be opened (no such device)",
                        " takes the port from \"COMmunication settings\": keep COM out of every line but the "
                        "port's"}),
    [](const testing::TestParamInfo<SettingsMistake>& row) { return std::string(row.param.name); });

TEST_F(SerialFailures, APortHeldByAnotherProgram) {
  program.write_settings_for(line.device_path());
  const int holder = open(line.device_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(flock(holder, LOCK_EX | LOCK_NB), 0);
  const ProgramRun run = program.run({"7.05"});
  close(holder);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(visible_text(run.terminal).find("Serial port " + line.device_path() +
                                            " could not be opened (in use by another program)\r\n"),
            std::string::npos)
      << run.terminal;
  EXPECT_EQ(line.received(), "");
}

TEST_F(SerialFailures, ARefusedBaudRateStillLeavesTheOtherSettingsAndSends) {
  program.write_settings("COM" + line.device_path() + "\r\nBAUD=9600\r\n");  // '=9600' reads as 0
  RunOptions options = program.options({"7.05"});
  options.streams = Streams::no_terminal;  // the whole line, unwrapped
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: Serial port " + line.device_path() +
                                 " refused the line settings (baud rate 0 not supported); VornSet.ini (" +
                                 program.program_directory() + "): write BAUD 9600, not BAUD=9600\n");
  EXPECT_EQ(line.received(), "LP1;TT0;FA00007050000;");
  const termios after = line.device_settings();
  EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(line.exclusive()) << "a failed run left the port refusing other programs";
}

TEST_F(SerialFailures, APortThatStopsTakingBytesFailsWithinSecondsInsteadOfHanging) {
  program.write_settings_for(line.device_path());
  ASSERT_EQ(tcflow(line.device_fd(), TCOOFF), 0);  // as if flow control held the line off
  const ProgramRun run = program.run({"7.05"});
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(visible_text(run.terminal).find("Serial port " + line.device_path() +
                                            " did not take all commands (timed out)\r\n"),
            std::string::npos)
      << run.terminal;
  EXPECT_GE(run.seconds, 2.0);
  EXPECT_LT(run.seconds, 15.0);
  EXPECT_FALSE(line.exclusive()) << "a failed send left the port refusing other programs";
}

}  // namespace
}  // namespace vornset::testing_support
