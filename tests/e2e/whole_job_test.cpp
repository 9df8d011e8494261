// The whole job, end to end: the real program, a pseudo-terminal as its console and
// another as the serial line, a settings file beside the program.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <utility>

#include "tests/support/device_server_posix.h"
#include "tests/support/installed_program_posix.h"
#include "tests/support/serial_line_posix.h"

namespace vornset::testing_support {
namespace {

struct Job {
  std::vector<std::string> arguments;
  const char* screen;
  const char* line;
};

class WholeJob : public testing::TestWithParam<Job> {};

TEST_P(WholeJob, ReportsAndSendsExactlyTheCommands) {
  const Job& job = GetParam();
  SerialLine line;
  InstalledProgram program(VORNSET_PROGRAM);
  program.write_settings_for(line.device_path());

  const ProgramRun run = program.run(job.arguments);

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(visible_text(run.terminal), job.screen);
  EXPECT_EQ(line.received(), job.line);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLines, WholeJob,
    testing::Values(
        Job{{}, "HF Mode,   LP Filter in    PWR out\r\n", "LP1;TT0;"},
        Job{{"7.05"}, "HF Mode,   LP Filter in    PWR out\r\nFrequency   7.05 MHz\r\n", "LP1;TT0;FA00007050000;"},
        Job{{"7050000"}, "HF Mode,   LP Filter in    PWR out\r\nFrequency   7.05 MHz\r\n", "LP1;TT0;FA00007050000;"},
        Job{{"vhf"}, "VHF Mode,   LP Filter out    0dBm output used\r\n", "LP0;TT1;"},
        Job{{"Lf"}, "LF Mode,   LP Filter in    0dBm output used\r\n", "LP1;TT1;"},
        Job{{"144.39"}, "VHF Mode,   LP Filter out    0dBm output used\r\nFrequency   144.39 MHz\r\n",
            "LP0;TT1;FA00144390000;"},
        Job{{".1375"}, "LF Mode,   LP Filter in    0dBm output used\r\nFrequency   .1375 MHz\r\n",
            "LP1;TT1;FA00000137500;"},
        Job{{"freq", "14.2"}, "HF Mode,   LP Filter in    PWR out\r\nFrequency   14.2 MHz\r\n",
            "LP1;TT0;FA00014200000;"},
        Job{{"VHF", "FREQ", "144"},
            "VHF Mode,   LP Filter out    0dBm output used\r\nFrequency   144 MHz\r\n", "LP0;TT1;FA00144000000;"},
        // Rounds to 0 Hz: no frequency line, but the instrument is still told.
        Job{{"0.0000004"}, "LF Mode,   LP Filter in    0dBm output used\r\n", "LP1;TT1;FA00000000000;"}));

TEST(WholeJobLine, LeavesTheLineRawAtTheSettingsBaudRate8N1AndEverythingElseAsItWas) {
  SerialLine line;
  const termios before = line.device_settings();
  InstalledProgram program(VORNSET_PROGRAM);
  program.write_settings_for(line.device_path(), " 19200");

  ASSERT_EQ(program.run({"7.05"}).exit_code, 0);

  const termios after = line.device_settings();
  EXPECT_EQ(cfgetospeed(&after), B19200);
  EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB), 0U);
  EXPECT_EQ(after.c_iflag & INPCK, 0U);
  const tcflag_t line_bits = CBAUD | CSIZE | PARENB | CSTOPB;
  EXPECT_EQ(after.c_cflag & ~line_bits, before.c_cflag & ~line_bits);
  // The kernel's defaults (ECHO, ICANON, ICRNL, OPOST and the rest) go; flow control stays.
  EXPECT_EQ(after.c_lflag & (ECHO | ECHONL | ICANON | ISIG | IEXTEN), 0U);
  EXPECT_EQ(after.c_oflag & OPOST, 0U);
  const tcflag_t input_bits = INPCK | IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL;
  EXPECT_EQ(after.c_iflag & input_bits, 0U);
  EXPECT_EQ(after.c_iflag & ~input_bits, before.c_iflag & ~input_bits);
  EXPECT_EQ(after.c_oflag & ~static_cast<tcflag_t>(OPOST), before.c_oflag & ~static_cast<tcflag_t>(OPOST));
  EXPECT_EQ(after.c_lflag & ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN),
            before.c_lflag & ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN));
  // The test still holds the port open, as another program might: the run must not
  // leave it refusing every later open.
  EXPECT_FALSE(line.exclusive());
}

// An instrument that reports its state on its own, on a line at the kernel's defaults
// (echo on): it starts once the first command has reached it and keeps sending until
// well after the run. Nothing of its own may come back to it.
TEST(WholeJobLine, AnInstrumentThatKeepsSendingReceivesExactlyTheCommands) {
  SerialLine line;
  InstalledProgram program(VORNSET_PROGRAM);
  program.write_settings_for(line.device_path());
  std::atomic<bool> reporting{true};
  std::string first;
  std::thread instrument([&] {
    pollfd readable{line.instrument_fd(), POLLIN, 0};
    if (poll(&readable, 1, 5000) != 1) return;
    char bytes[64];
    const ssize_t got = read(line.instrument_fd(), bytes, sizeof bytes);
    if (got > 0) first.assign(bytes, static_cast<std::size_t>(got));
    while (reporting) {
      EXPECT_EQ(write(line.instrument_fd(), "IF00007050000;\r\n", 16), 16);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });

  const ProgramRun run = program.run({"7.05"});
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  reporting = false;
  instrument.join();

  EXPECT_EQ(run.exit_code, 0);
  EXPECT_EQ(first + line.received(), "LP1;TT0;FA00007050000;");
  EXPECT_LT(run.seconds, 1.0);
}

TEST(OutOfRange, SaysSoAndTouchesNothing) {
  SerialLine line;
  InstalledProgram program(VORNSET_PROGRAM);
  program.write_settings_for(line.device_path());

  for (const char* frequency : {"1e400", "100000000000"}) {
    const ProgramRun run = program.run({frequency});
    EXPECT_EQ(run.exit_code, 1) << frequency;
    EXPECT_EQ(visible_text(run.terminal), "Frequency out of range\r\n") << frequency;
    EXPECT_LT(run.seconds, 1.5) << "no pause: " << frequency;
  }
  EXPECT_EQ(line.received(), "");
}

// The simulated instrument with --count `count`, and the device path of its line.
std::FILE* start_simulator(const TempDirectory& scratch, int count, std::string& device) {
  const std::string command = std::string(VORNSET_INSTRUMENT_SIM) + " --count " + std::to_string(count) +
                              " --timeout 10 --settings-file " + scratch.file("VornSet.ini");
  std::FILE* simulator = popen(command.c_str(), "r");
  char text[256];
  for (int i = 0; simulator != nullptr && i < 2; ++i) {  // the settings line, then the device path
    if (std::fgets(text, sizeof text, simulator) == nullptr) break;
    device = text;
  }
  if (!device.empty()) device.pop_back();
  return simulator;
}

// The simulated instrument stays on the line until the port is closed: hanging up at
// the last command failed about one run in ten with an I/O error, as the program was
// still waiting for its bytes to leave.
TEST(SimulatedInstrument, StaysOnTheLineUntilThePortIsClosed) {
  const TempDirectory scratch;
  std::string device;
  std::FILE* simulator = start_simulator(scratch, 3, device);
  ASSERT_NE(simulator, nullptr);
  const int port = open(device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(port, 0) << device;
  ASSERT_EQ(write(port, "LP1;TT0;FA00007050000;", 22), 22);
  std::string decoded;
  char text[256];
  for (int i = 0; i < 3 && std::fgets(text, sizeof text, simulator) != nullptr; ++i) decoded += text;
  // The line as the test left it: the pseudo-terminal's own rate, raw.
  EXPECT_EQ(decoded,
            "LP1;  38400 8N1  low-pass filter in\nTT0;  38400 8N1  power output\n"
            "FA00007050000;  38400 8N1  frequency 7050000 Hz\n");

  pollfd ended{fileno(simulator), POLLIN, 0};
  EXPECT_EQ(poll(&ended, 1, 300), 0) << "the simulator hung up while the port was open";
  int queued = -1;
  EXPECT_EQ(ioctl(port, TIOCOUTQ, &queued), 0) << "the line hung up under the program";
  close(port);
  EXPECT_EQ(pclose(simulator), 0);
}

// --count counts commands, not reads: one read that holds the N-th command and part of
// the next gives exactly N commands, none of them cut short.
TEST(SimulatedInstrument, CountsCommandsWhateverTheReads) {
  const TempDirectory scratch;
  std::string device;
  std::FILE* simulator = start_simulator(scratch, 2, device);
  ASSERT_NE(simulator, nullptr);
  const int port = open(device.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(port, 0) << device;
  ASSERT_EQ(write(port, "LP1;TT0;FA0000", 14), 14);
  char text[256];
  std::string decoded;
  for (int i = 0; i < 2 && std::fgets(text, sizeof text, simulator) != nullptr; ++i) decoded += text;
  close(port);
  while (std::fgets(text, sizeof text, simulator) != nullptr) decoded += text;
  EXPECT_EQ(decoded, "LP1;  38400 8N1  low-pass filter in\nTT0;  38400 8N1  power output\n");
  EXPECT_EQ(pclose(simulator), 0);
}

// What the README and the manual tell a user to paste, run as written: the simulated
// instrument in front, then vornset at once.
struct DocumentedRun {
  const char* name;
  const char* file;      // in the source tree
  const char* from;      // the first lines of the example there; null: the file is a script
  const char* to;        // what ends the example
  const char* received;  // what the run shows the simulated instrument received
};

class DocumentedRuns : public testing::TestWithParam<DocumentedRun> {};

// The example, as a shell gets it pasted: no indent, no roff escapes.
std::string example_in(const std::string& document, const DocumentedRun& row) {
  const std::size_t start = document.find(row.from);
  if (start == std::string::npos) return {};
  std::string text = document.substr(start, document.find(row.to, start) - start) + '\n';
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"\\-", "-"}, {"\\e", "\\"}, {"\n    ", "\n"}}) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

TEST_P(DocumentedRuns, WorkAsWrittenInOneGo) {
  const DocumentedRun& row = GetParam();
  const std::string source = std::string(VORNSET_SOURCE_DIR) + "/" + row.file;
  InstalledProgram program(VORNSET_PROGRAM);
  std::string command;
  if (row.from == nullptr) {
    if (std::system("command -v ser2net >/dev/null 2>&1") != 0) GTEST_SKIP() << "ser2net is not installed";
    command = "bash " + source + " " + std::to_string(unused_loopback_port());
  } else {
    std::ifstream file(source, std::ios::binary);
    const std::string document{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const std::string example = example_in(document, row);
    ASSERT_NE(example, "") << "no example in " << row.file;
    command = "bash " + program.scratch().write_file("example.sh", example);
  }
  const std::string simulator_directory = std::filesystem::path(VORNSET_INSTRUMENT_SIM).parent_path();
  const std::string run = "cd " + program.scratch().file("work") + " && env -i HOME=" +
                          program.scratch().file("home") + " PATH=" + program.program_directory() + ":" +
                          simulator_directory + ":/usr/sbin:/usr/bin:/sbin:/bin timeout 30 " + command + " 2>&1";
  // An example that races with the simulator's start fails now and then: pasted five times.
  for (int paste = 0; paste < (row.from == nullptr ? 1 : 5); ++paste) {
    // The simulator, gone to the background, holds the pipe until it ends.
    std::FILE* shell = popen(run.c_str(), "r");
    ASSERT_NE(shell, nullptr);
    std::string output;
    char text[256];
    while (std::fgets(text, sizeof text, shell) != nullptr) output += text;
    const int status = pclose(shell);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
    EXPECT_NE(output.find(row.received), std::string::npos) << output;
  }
}

constexpr const char* kSimulatorShows =
    "LP1;  9600 8N1  low-pass filter in\nTT0;  9600 8N1  power output\nFA00007050000;  9600 8N1  frequency 7050000 Hz\n";

INSTANTIATE_TEST_SUITE_P(
    Examples, DocumentedRuns,
    testing::Values(
        DocumentedRun{"Readme", "README.md", "mkdir -p ~/.config/vornset\n    vornset-instrument-sim", "\n\n",
                      kSimulatorShows},
        DocumentedRun{"SimulatorManual", "docs/vornset-instrument-sim.1",
                      "mkdir \\-p ~/.config/vornset\nvornset-instrument-sim", "\n.fi", kSimulatorShows},
        // ser2net sets the line at the rate vornset asks for over RFC 2217.
        DocumentedRun{"DeviceServerScript", "scripts/try_device_server.sh", nullptr, "",
                      "   LP1;  19200 8N1  low-pass filter in\n   TT0;  19200 8N1  power output\n"
                      "   FA00007050000;  19200 8N1  frequency 7050000 Hz\n"}),
    [](const testing::TestParamInfo<DocumentedRun>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace vornset::testing_support
