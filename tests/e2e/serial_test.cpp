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

TEST_F(SerialFailures, APortTextThatNamesNoDevice) {
  program.write_settings("COM=3\r\n");
  const ProgramRun run = program.run({});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(visible_text(run.terminal), std::string(kHfLine) + "Serial port COM=3 could not be opened (no such device)\r\n");
}

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
  const ProgramRun run = program.run({"7.05"});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(visible_text(run.terminal).find("Serial port " + line.device_path() +
                                            " refused the line settings (baud rate 0 not supported)\r\n"),
            std::string::npos)
      << run.terminal;
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
