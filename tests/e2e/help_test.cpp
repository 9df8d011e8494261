// Asking the program for help: the answer goes to standard output and the run ends there,
// before any settings file or port is looked at. Anything else on the line is a run.
#include <gtest/gtest.h>

#include "app/help.h"
#include "serial/port_list.h"
#include "tests/support/installed_program_posix.h"
#include "tests/support/serial_line_posix.h"

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

TEST_P(HelpRequest, AnswersOnStandardOutputAndTouchesNoPort) {
  program.write_settings_for(line.device_path());
  RunOptions options = program.options(GetParam().arguments);
  options.streams = Streams::stdout_to_file;

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
                    // The ports of the machine the suite runs on, as the listing finds them.
                    Request{{"--ports"}, port_list_text(system_serial_ports())}));

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
