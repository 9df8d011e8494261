// Every platform call of a run fails in turn, once with each error a real system gives:
// the run still ends, records the error number its statement stands for, puts on the line
// nothing but whole commands it meant to send, and never ends with exit code 0 unless
// every command went out. A line setting that fails on the way ends it with 0 exactly
// when the port still ends at the run's line.
#include "app/run_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/console_output.h"
#include "frame/error_number.h"
#include "frame/error_state.h"
#include "frame/fake_screen_buffer.h"
#include "frame/file_table.h"
#include "serial/fake_serial_platform.h"
#include "settings/fake_settings_platform.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace vornset {
namespace {

struct SystemError {
  const char* name;
  std::uint32_t code;
  int error_number;  // what the statement records for it
};

#ifdef _WIN32
constexpr SystemError kSystemErrors[] = {
    {"no such file", ERROR_FILE_NOT_FOUND, error_number::file_not_found},
    {"access denied", ERROR_ACCESS_DENIED, error_number::permission_denied},
    {"I/O error", ERROR_GEN_FAILURE, error_number::disk_media_error},
    {"out of memory", ERROR_NOT_ENOUGH_MEMORY, error_number::out_of_memory},
    {"interrupted", ERROR_OPERATION_ABORTED, error_number::path_file_access_error},
};
#else
constexpr SystemError kSystemErrors[] = {
    {"no such file", ENOENT, error_number::file_not_found},
    {"access denied", EACCES, error_number::permission_denied},
    {"I/O error", EIO, error_number::disk_media_error},
    {"out of memory", ENOMEM, error_number::out_of_memory},
    {"interrupted", EINTR, error_number::path_file_access_error},
};
#endif

enum class Layer : std::uint8_t { settings, serial, screen };

const char* layer_name(Layer layer) {
  switch (layer) {
    case Layer::settings: return "settings";
    case Layer::serial: return "serial";
    case Layer::screen: return "screen";
  }
  return "";
}

struct Scenario {
  const char* name;
  const char* command_text;
  const char* found_path;  // empty: the search finds nothing
  bool plain_file;
  ExitCode exit_code;      // when nothing fails
  std::vector<std::string> commands;
};

// Five bytes a read: the CR LF behind "COM3" is split across two reads.
constexpr std::size_t kDeliveryLimit = 5;
constexpr const char* kSettingsFile = "COM3\r\nBAUD 19200\r\n";

const Scenario kScenarios[] = {
    {"frequency", "7.05", "C:\\VORNSET\\VornSet.ini", true, ExitCode::sent,
     {"LP1;", "TT0;", "FA00007050000;"}},
    {"band keyword", "VHF", "C:\\VORNSET\\VornSet.ini", true, ExitCode::sent, {"LP0;", "TT1;"}},
    {"settings not found", "7.05", "", true, ExitCode::failed, {}},
    {"settings not a file", "LF", "C:\\VORNSET\\VornSet.ini", false, ExitCode::failed, {}},
};

bool fatal_error_seen = false;
void note_fatal_error(int) { fatal_error_seen = true; }

unsigned last_pause = 0;
void note_pause(unsigned milliseconds) { last_pause = milliseconds; }

std::vector<std::string> failure_lines;
void note_failure_line(std::string_view line) { failure_lines.emplace_back(line); }

// One run against fakes; at most one call of one layer fails.
struct FaultedRun {
  FakeSettingsPlatform settings;
  FakeSerialPlatform serial;
  FakeScreenBuffer screen;
  ConsoleOutput console{screen};
  ErrorState errors{note_fatal_error};
  FileTable files;
  ExitCode exit_code = ExitCode::fatal;
  std::vector<std::string> logged;  // the lines that went to the log

  FaultedRun(const Scenario& scenario, Layer layer, std::size_t failing_call, const SystemError& error) {
    settings.found_path = scenario.found_path;
    settings.plain_file = scenario.plain_file;
    settings.contents = kSettingsFile;
    settings.delivery_limit = kDeliveryLimit;
    settings.table = &files;
    const CallOutcome failure = system_failure(error.code);
    if (failing_call != 0) {
      switch (layer) {
        case Layer::settings: settings.fail_call(failing_call, failure); break;
        case Layer::serial: serial.fail_call(failing_call, failure); break;
        case Layer::screen: screen.fail_call(failing_call); break;
      }
    }
    fatal_error_seen = false;
    last_pause = 0;
    failure_lines.clear();
    RunEnvironment environment{console, settings, serial, note_pause, note_failure_line, errors, files};
    exit_code = run_sequence(scenario.command_text, environment);
    logged = failure_lines;
  }

  // What the run tried to write, whether the port took it or not.
  std::vector<std::string> writes() const {
    std::vector<std::string> bytes;
    for (const FakeSerialPlatform::Entry& entry : serial.log) {
      if (entry.call == FakeSerialPlatform::Call::write) bytes.push_back(entry.bytes);
    }
    return bytes;
  }

  std::string serial_call_name(std::size_t number) const {
    switch (serial.log.at(number - 1).call) {
      case FakeSerialPlatform::Call::open: return "open";
      case FakeSerialPlatform::Call::read_line_settings: return "read_line_settings";
      case FakeSerialPlatform::Call::write_line_settings: return "write_line_settings";
      case FakeSerialPlatform::Call::set_modem_lines: return "set_modem_lines";
      case FakeSerialPlatform::Call::read_queue_sizes: return "read_queue_sizes";
      case FakeSerialPlatform::Call::request_queue_sizes: return "request_queue_sizes";
      case FakeSerialPlatform::Call::limit_write_time: return "limit_write_time";
      case FakeSerialPlatform::Call::write: return "write";
      case FakeSerialPlatform::Call::wait_until_sent: return "wait_until_sent";
      case FakeSerialPlatform::Call::discard_output: return "discard_output";
    }
    return "";
  }
};

// Each write is one whole command of the run, and they come in the run's order.
bool writes_are_whole_commands_in_order(const std::vector<std::string>& writes,
                                        const std::vector<std::string>& commands) {
  std::size_t next = 0;
  for (const std::string& written : writes) {
    while (next < commands.size() && commands[next] != written) ++next;
    if (next == commands.size()) return false;
    ++next;
  }
  return true;
}

// The bytes on the line cut into commands: each command ends with its only ';'.
std::vector<std::string> split_after_semicolons(std::string_view line) {
  std::vector<std::string> pieces;
  while (!line.empty()) {
    const std::size_t end = std::min(line.find(';'), line.size() - 1) + 1;
    pieces.emplace_back(line.substr(0, end));
    line.remove_prefix(end);
  }
  return pieces;
}

std::string joined(const std::vector<std::string>& texts) {
  std::string all;
  for (const std::string& text : texts) all += text;
  return all;
}

bool shows(const FaultedRun& run, std::string_view text) {
  return run.screen.text().find(text) != std::string::npos;
}

// What the run must record, and which way it must end, when call `number` of `layer`
// fails with `error`.
void check_failure(const Scenario& scenario, Layer layer, std::size_t number,
                   const SystemError& error, const FaultedRun& baseline, const FaultedRun& run) {
  const std::vector<std::string> writes = run.writes();
  EXPECT_TRUE(writes_are_whole_commands_in_order(writes, scenario.commands));
  EXPECT_FALSE(fatal_error_seen);
  ASSERT_TRUE(run.exit_code == ExitCode::sent || run.exit_code == ExitCode::failed);
  EXPECT_TRUE(writes_are_whole_commands_in_order(split_after_semicolons(run.serial.received),
                                                scenario.commands))
      << run.serial.received;
  if (run.exit_code == ExitCode::sent) {
    EXPECT_EQ(writes, scenario.commands);
    EXPECT_EQ(run.serial.received, joined(scenario.commands));
    EXPECT_TRUE(run.logged.empty());
  } else {
    // The log gets the one line that says why, whatever became of the console.
    ASSERT_EQ(run.logged.size(), 1u);
    if (layer != Layer::screen) {
      EXPECT_TRUE(shows(run, run.logged[0]));
    }
  }
  EXPECT_EQ(run.settings.open_handles, 0);

  switch (layer) {
    case Layer::settings: {
      const std::string_view call = run.settings.calls.at(number - 1);
      SCOPED_TRACE(std::string(call));
      EXPECT_EQ(run.errors.last(), error.error_number);
      if (call == "close") {
        // The file was read to its end; a close that fails loses nothing.
        EXPECT_EQ(run.exit_code, baseline.exit_code);
        EXPECT_EQ(run.serial.received, baseline.serial.received);
        return;
      }
      EXPECT_EQ(run.exit_code, ExitCode::failed);
      EXPECT_TRUE(run.serial.log.empty()) << "the port was touched without its settings";
      EXPECT_EQ(last_pause, kSettingsMessagePauseMilliseconds);
      const bool found = call != "search" && call != "is_plain_file";
      EXPECT_TRUE(shows(run, found ? kSettingsUnreadableMessage : kSettingsMissingMessage));
      return;
    }
    case Layer::serial: {
      const std::string call = run.serial_call_name(number);
      SCOPED_TRACE(call);
      const LineSettings& line = run.serial.line;
      const bool line_as_needed = line.baud_rate == 19200 && line.data_bits == 8 &&
                                  line.stop_bits == StopBits::one && line.parity == Parity::none &&
                                  !line.parity_checking;
      if (call.ends_with("_line_settings") && line_as_needed) {
        EXPECT_EQ(run.exit_code, ExitCode::sent);
        EXPECT_EQ(run.errors.last(), call == "write_line_settings" ? error_number::invalid_call : error.error_number);
        return;
      }
      EXPECT_EQ(run.exit_code, ExitCode::failed);
      if (call == "open") {
        // Every later statement then finds file number 1 not open.
        EXPECT_TRUE(writes.empty());
        EXPECT_EQ(run.errors.last(), error_number::bad_file_number);
        EXPECT_TRUE(shows(run, "Serial port COM3 could not be opened"));
        return;
      }
      const bool sending = call == "write" || call == "wait_until_sent";
      const int expected = call == "write_line_settings" || call == "request_queue_sizes"
                               ? error_number::invalid_call
                           : sending ? error_number::device_timeout
                                     : error.error_number;
      EXPECT_EQ(run.errors.last(), expected);
      if (call == "limit_write_time") {
        // Without a bound on each write nothing may be written at all.
        EXPECT_TRUE(writes.empty());
        EXPECT_TRUE(shows(run, "Serial port COM3 refused the line settings"));
        return;
      }
      // The command whose write failed ends the sending: no later one is tried, so the
      // instrument never gets a command without the ones before it.
      std::vector<std::string> tried;
      std::string expected_line;
      for (const std::string& command : scenario.commands) {
        tried.push_back(command);
        if (call == "write" && command == run.serial.log.at(number - 1).bytes) break;
        expected_line += command;
      }
      EXPECT_EQ(writes, tried);
      EXPECT_EQ(run.serial.received, expected_line);
      EXPECT_TRUE(shows(run, "Serial port COM3 "));
      return;
    }
    case Layer::screen:
      // Console output is best effort: a console that went away changes nothing else.
      EXPECT_EQ(run.exit_code, baseline.exit_code);
      EXPECT_EQ(run.serial.received, baseline.serial.received);
      EXPECT_EQ(run.errors.count(), baseline.errors.count());
      return;
  }
}

class RunSequenceUnderFaults : public testing::TestWithParam<Scenario> {};

TEST_P(RunSequenceUnderFaults, EndsSafelyWhicheverPlatformCallFails) {
  const Scenario& scenario = GetParam();
  const FaultedRun baseline(scenario, Layer::settings, 0, kSystemErrors[0]);
  ASSERT_EQ(baseline.exit_code, scenario.exit_code);
  ASSERT_EQ(baseline.writes(), scenario.commands);
  ASSERT_EQ(baseline.errors.count(), 0);

  const std::size_t calls[] = {baseline.settings.calls.size(), baseline.serial.log.size(),
                               baseline.screen.calls()};
  std::size_t runs = 0;
  for (const Layer layer : {Layer::settings, Layer::serial, Layer::screen}) {
    for (std::size_t number = 1; number <= calls[static_cast<int>(layer)]; ++number) {
      for (const SystemError& error : kSystemErrors) {
        SCOPED_TRACE(std::string(layer_name(layer)) + " call " + std::to_string(number) +
                     " fails: " + error.name);
        const FaultedRun run(scenario, layer, number, error);
        check_failure(scenario, layer, number, error, baseline, run);
        ++runs;
        if (layer == Layer::screen) break;  // a console has no error to choose
      }
    }
  }
  // Every layer the run reaches was walked.
  EXPECT_GT(runs, 0u);
  EXPECT_GT(calls[static_cast<int>(Layer::screen)], 0u);
}

INSTANTIATE_TEST_SUITE_P(Runs, RunSequenceUnderFaults, testing::ValuesIn(kScenarios),
                         [](const testing::TestParamInfo<Scenario>& param) {
                           std::string name;
                           for (const char c : std::string_view(param.param.name)) {
                             if (c != ' ') name += c;
                           }
                           return name;
                         });

// The walks above cover what a normal run calls; these pin that it calls what it must.
TEST(RunSequenceUnderFaults, NormalRunMakesEveryPlatformCall) {
  const FaultedRun run(kScenarios[0], Layer::settings, 0, kSystemErrors[0]);
  const std::vector<std::string_view> settings_calls = {"search",  "is_plain_file", "open",
                                                        "read_at", "read_at",       "read_at",
                                                        "read_at", "read_at",       "close"};
  EXPECT_EQ(run.settings.calls, settings_calls);
  using Call = FakeSerialPlatform::Call;
  const std::vector<Call> serial_calls = {
      Call::open,
      Call::read_line_settings, Call::write_line_settings,
      Call::read_line_settings, Call::write_line_settings,
      Call::read_line_settings, Call::write_line_settings,
      Call::read_line_settings, Call::write_line_settings,
      Call::read_queue_sizes,   Call::request_queue_sizes,
      Call::limit_write_time,
      Call::write, Call::write, Call::write,
      Call::wait_until_sent};
  EXPECT_EQ(run.serial.calls(), serial_calls);
}

}  // namespace
}  // namespace vornset
