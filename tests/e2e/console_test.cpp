// What the user sees: the report on terminals of different widths, in a real terminal
// emulator, with redirected output, and with hostile text.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>
#include <unistd.h>

#include "tests/support/installed_program_posix.h"
#include "tests/support/serial_line_posix.h"

namespace vornset::testing_support {
namespace {

constexpr const char* kHfReport = "HF Mode,   LP Filter in    PWR out\r\nFrequency   7.05 MHz\r\n";

class Console : public testing::Test {
 protected:
  Console() { program.write_settings_for(line.device_path()); }
  SerialLine line;
  InstalledProgram program{VORNSET_PROGRAM};
};

// The terminal wraps a long line itself (RealTerminal shows where), so it stays one line.
TEST_F(Console, LeavesTheWrapToTheTerminalAndAnEmptyRowAfterAnExactlyFullLine) {
  RunOptions options = program.options({"7.05"});
  options.columns = 20;  // "Frequency   7.05 MHz" is exactly 20 characters
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(visible_text(run.terminal), "HF Mode,   LP Filter in    PWR out\r\nFrequency   7.05 MHz\r\n\r\n");
}

// TERM names the kind of terminal; a dumb one, or none named, takes no escape sequence.
struct TerminalKind {
  const char* name;
  const char* term;  // null: TERM unset
  bool colour_reset;
};

class TerminalKinds : public Console, public testing::WithParamInterface<TerminalKind> {};

TEST_P(TerminalKinds, GetTheColourResetOnlyWhenTheyTakeEscapes) {
  RunOptions options = program.options({"7.05"});
  std::erase_if(options.environment, [](const std::string& variable) { return variable.starts_with("TERM="); });
  if (GetParam().term != nullptr) options.environment.push_back(std::string("TERM=") + GetParam().term);
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.terminal.find('\x1b'), GetParam().colour_reset ? 0 : std::string::npos) << run.terminal;
  EXPECT_EQ(visible_text(run.terminal), kHfReport);
}

INSTANTIATE_TEST_SUITE_P(Terms, TerminalKinds,
                         testing::Values(TerminalKind{"Xterm", "xterm-256color", true},
                                         TerminalKind{"Dumb", "dumb", false}, TerminalKind{"Unset", nullptr, false}),
                         [](const testing::TestParamInfo<TerminalKind>& row) { return std::string(row.param.name); });

TEST_F(Console, ARedirectedStandardOutputReceivesNothingAndTheTerminalShowsTheReport) {
  RunOptions options = program.options({"7.05"});
  options.streams = Streams::stdout_to_file;
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(run.stdout_file, "");
  EXPECT_EQ(visible_text(run.terminal), kHfReport);
  EXPECT_EQ(line.received(), "LP1;TT0;FA00007050000;");
}

// As a script or a cron job runs it: standard output and standard error in files.
struct Unattended {
  const char* name;
  std::string (*settings)(const std::string& device);  // empty: no settings file
  const char* frequency;
  int exit_code;
  std::string logged;  // what standard error receives
  const char* line;
};

class WithoutAnyTerminal : public testing::TestWithParam<Unattended> {};

TEST_P(WithoutAnyTerminal, OnlyAFailureIsToldAndOnlyOnStandardError) {
  const Unattended& row = GetParam();
  SerialLine line;
  InstalledProgram program(VORNSET_PROGRAM);
  const std::string settings = row.settings(line.device_path());
  if (!settings.empty()) program.write_settings(settings);
  RunOptions options = program.options({row.frequency});
  options.streams = Streams::no_terminal;
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, row.exit_code);
  EXPECT_EQ(run.stderr_file, row.logged);
  EXPECT_EQ(run.stdout_file, "");
  EXPECT_EQ(run.terminal, "");
  EXPECT_EQ(line.received(), row.line);
}

std::string good_settings(const std::string& device) { return "COM" + device + "\r\n"; }

INSTANTIATE_TEST_SUITE_P(
    Runs, WithoutAnyTerminal,
    testing::Values(
        Unattended{"Sent", good_settings, "7.05", 0, "", "LP1;TT0;FA00007050000;"},
        Unattended{"OutOfRange", good_settings, "1e400", 1, "vornset: Frequency out of range\n", ""},
        Unattended{"SettingsMissing", [](const std::string&) { return std::string(); }, "7.05", 1,
                   "vornset: VornSet.INI not found, COM port parameters cannot be set\n", ""},
        Unattended{"SettingsOverOneMebibyte",
                   [](const std::string& d) { return good_settings(d) + std::string(std::size_t{1024} * 1024, ' '); }, "7.05",
                   1, "vornset: VornSet.INI cannot be read, COM port parameters cannot be set\n", ""},
        Unattended{"SerialFailureWithControlCharacters",
                   [](const std::string&) { return std::string("COM/dev/\x1b[2J\r\n"); }, "7.05", 1,
                   "vornset: Serial port /dev/\xE2\x90\x9B[2J could not be opened (no such device)\n", ""}),
    [](const testing::TestParamInfo<Unattended>& row) { return std::string(row.param.name); });

TEST_F(Console, TextFromTheSettingsFileCannotControlTheTerminal) {
  program.write_settings("COM/dev/\x1b[2J\x1b]0;title\x07\r\n");
  const ProgramRun run = program.run({});
  EXPECT_EQ(run.exit_code, 1);
  const std::string shown = visible_text(run.terminal);
  for (const char byte : shown) {
    const auto code = static_cast<unsigned char>(byte);
    EXPECT_TRUE(code >= 0x20 || byte == '\r' || byte == '\n') << "raw control byte " << int{code};
  }
  EXPECT_NE(shown.find("Serial port /dev/\xE2\x90\x9B[2J"), std::string::npos) << shown;  // ESC as U+241B
}

// A real terminal emulator draws the report: what a user sees, and what a copy of the
// screen gives. "%D" in the settings stands for the line's device.
struct Screen {
  const char* name;
  int columns;
  int rows;
  const char* before;    // shell commands run before the program
  const char* settings;  // empty: the line's own
  const char* capture;   // tmux capture-pane options
  const char* shown;     // the screen up to the exit code
};

class RealTerminal : public Console, public testing::WithParamInterface<Screen> {};

TEST_P(RealTerminal, ShowsTheConsoleLayout) {
  if (std::system("command -v tmux >/dev/null 2>&1") != 0) GTEST_SKIP() << "tmux is not installed";
  const Screen& row = GetParam();
  std::string settings = row.settings;
  if (!settings.empty()) {
    for (std::size_t at = settings.find("%D"); at != std::string::npos; at = settings.find("%D")) {
      settings.replace(at, 2, line.device_path());
    }
    program.write_settings(settings);
  }
  const std::string socket = "vornset-e2e-" + std::to_string(getpid());
  // The pane's own TERM, as a user's shell has it.
  const std::string command = std::string(row.before) + "cd " + program.program_directory() + " && env -i HOME=" +
                              program.scratch().file("home") + " TERM=$TERM ./vornset 7.05; echo exit=$?; sleep 30";
  const std::string start = "tmux -L " + socket + " -f /dev/null new-session -d -x " + std::to_string(row.columns) +
                            " -y " + std::to_string(row.rows) + " '" + command + "'";
  ASSERT_EQ(std::system(start.c_str()), 0);

  std::string screen;
  for (int attempt = 0; attempt < 100 && screen.find("exit=") == std::string::npos; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    screen.clear();
    std::FILE* capture = popen(("tmux -L " + socket + " capture-pane -p " + row.capture).c_str(), "r");
    ASSERT_NE(capture, nullptr);
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, capture) != nullptr) screen += buffer;
    pclose(capture);
  }
  (void)std::system(("tmux -L " + socket + " kill-server 2>/dev/null").c_str());
  EXPECT_EQ(screen.substr(0, screen.find("exit=")), row.shown);
}

INSTANTIATE_TEST_SUITE_P(
    Panes, RealTerminal,
    testing::Values(
        Screen{"WrapsAtTwentyColumns", 20, 8, "", "", "",
               "HF Mode,   LP Filter\n in    PWR out\nFrequency   7.05 MHz\n\n"},
        // A copy joins what the terminal wrapped: a path copied from a failure line is whole.
        Screen{"ACopiedWrappedLineIsWhole", 40, 8, "", "COM/dev/nonexistent-port-with-a-long-name-for-wrap\r\n", "-J",
               "HF Mode,   LP Filter in    PWR out\nFrequency   7.05 MHz\nSerial port "
               "/dev/nonexistent-port-with-a-long-name-for-wrap could not be opened (no such device)\n"},
        Screen{"ACopiedFullRowIsFollowedByAnEmptyOne", 20, 8, "", "", "-J",
               "HF Mode,   LP Filter in    PWR out\nFrequency   7.05 MHz\n\n"},
        // At the bottom the terminal scrolls: a full last row, then an empty one.
        Screen{"ScrollsAtTheBottom", 20, 5, "seq 9; ", "", "",
               " in    PWR out\nFrequency   7.05 MHz\n\n"}),
    [](const testing::TestParamInfo<Screen>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace vornset::testing_support
