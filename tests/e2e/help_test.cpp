// Asking the program for help: the answer goes to standard output and the run ends there,
// before any settings file or port is looked at. Anything else on the line is a run.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app/help.h"
#include "tests/support/installed_program_posix.h"
#include "tests/support/serial_line_posix.h"
#include "tests/support/temp_directory_posix.h"

namespace vornset::testing_support {
namespace {

constexpr const char* kHfLine = "HF Mode,   LP Filter in    PWR out\r\n";

struct Request {
  std::vector<std::string> arguments;
  std::string answer;
};

class HelpRequest : public testing::TestWithParam<Request> {
 protected:
  SerialLine line;
  InstalledProgram program{VORNSET_PROGRAM};
};

// A /sys of two working 8250s and the console, made by hand: the port list of the
// machine the program then runs on is known.
void make_sys_of_two_uarts(const TempDirectory& sys) {
  for (const char* folder : {"class", "class/tty", "class/tty/console", "bus", "bus/platform", "bus/platform/drivers",
                             "bus/platform/drivers/serial8250", "devices", "devices/platform",
                             "devices/platform/serial8250", "devices/platform/serial8250/tty"}) {
    sys.make_directory(folder);
  }
  ASSERT_EQ(symlink("../../../bus/platform/drivers/serial8250", sys.file("devices/platform/serial8250/driver").c_str()), 0);
  for (const char* tty : {"ttyS0", "ttyS1", "ttyS10"}) {
    const std::string folder = std::string("devices/platform/serial8250/tty/") + tty;
    sys.make_directory(folder);
    sys.write_file(folder + "/type", "4\n");
    ASSERT_EQ(symlink("../../../serial8250", sys.file(folder + "/device").c_str()), 0);
    ASSERT_EQ(symlink(("../../" + folder).c_str(), sys.file(std::string("class/tty/") + tty).c_str()), 0);
  }
  sys.write_file("class/tty/console/active", "tty0 ttyS0\n");
}

TEST_P(HelpRequest, AnswersOnStandardOutputAndTouchesNoPort) {
  program.write_settings_for(line.device_path());
  RunOptions options = program.options(GetParam().arguments);
  options.streams = Streams::stdout_to_file;
  const TempDirectory sys;
  if (GetParam().arguments.front() == "--ports") {
    if (geteuid() != 0) GTEST_SKIP() << "a /sys of the test's own needs a mount namespace (root)";
    make_sys_of_two_uarts(sys);
    options.sys_directory = sys.path();
  }

  const ProgramRun run = program.run_with(options);

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.stdout_file, GetParam().answer);
  EXPECT_EQ(run.terminal, "");
  EXPECT_EQ(line.received(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Requests, HelpRequest,
    testing::Values(Request{{"--help"}, usage_text(kPlatformHelpConventions)},
                    Request{{"-h"}, usage_text(kPlatformHelpConventions)},
                    Request{{"--version"}, version_text(kPlatformHelpConventions)},
                    // The console, ttyS0, is no port to offer.
                    Request{{"--ports"}, "COM2   /dev/ttyS1, serial8250\nCOM11  /dev/ttyS10, serial8250\n"}));

struct LostAnswer {
  const char* request;
  Streams streams;
};

class HelpAnswerLost : public testing::TestWithParam<LostAnswer> {};

// A script that keeps the answer learns that it did not get it.
TEST_P(HelpAnswerLost, EndsWithExitCode1) {
  InstalledProgram program(VORNSET_PROGRAM);
  RunOptions options = program.options({GetParam().request});
  options.streams = GetParam().streams;
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.terminal, "");
}

INSTANTIATE_TEST_SUITE_P(Streams, HelpAnswerLost,
                         testing::Values(LostAnswer{"--help", Streams::stdout_full},
                                         LostAnswer{"--version", Streams::stdout_full},
                                         LostAnswer{"--help", Streams::stdout_closed},
                                         LostAnswer{"--version", Streams::stdout_closed},
                                         LostAnswer{"--ports", Streams::stdout_full}));

TEST(Help, ShowsInTheTerminalWithoutSettingsAndWithoutPause) {
  InstalledProgram program(VORNSET_PROGRAM);
  const ProgramRun run = program.run({"--help"});
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(visible_text(run.terminal), usage_text(kPlatformHelpConventions));
  EXPECT_LT(run.seconds, 1.5);
}

class NotHelp : public testing::TestWithParam<std::vector<std::string>> {};

TEST_P(NotHelp, RunsAndSendsTheHfCommands) {
  SerialLine line;
  InstalledProgram program(VORNSET_PROGRAM);
  program.write_settings_for(line.device_path());

  const ProgramRun run = program.run(GetParam());

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(visible_text(run.terminal), kHfLine);
  EXPECT_EQ(line.received(), "LP1;TT0;");
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, NotHelp,
    testing::Values(std::vector<std::string>{"help"}, std::vector<std::string>{"--HELP"},
                    std::vector<std::string>{"-H"}, std::vector<std::string>{"--Version"},
                    std::vector<std::string>{"/?"}, std::vector<std::string>{"--help", "x"},
                    std::vector<std::string>{"", "-h"}, std::vector<std::string>{"-h", ""},
                    std::vector<std::string>{"--PORTS"}, std::vector<std::string>{"--ports", "x"}));

}  // namespace
}  // namespace vornset::testing_support
