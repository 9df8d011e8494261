// A whole run with any command text and any settings file, while any one platform call
// (settings, serial or console) fails with an error a real system gives: the run ends,
// puts on the line nothing but whole commands it meant to send, in order, and ends with
// exit code 0 only when every command went out.
//
// Input: the failing call's number (0: none), its layer and error, the command text's
// length, the command text, then the settings file.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/band_selection.h"
#include "app/run_sequence.h"
#include "app/settings_hint.h"
#include "frame/console_output.h"
#include "frame/error_state.h"
#include "frame/fake_screen_buffer.h"
#include "frame/file_table.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "serial/fake_serial_platform.h"
#include "settings/fake_settings_platform.h"

namespace {

using namespace vornset;

void no_fatal_error(int) { FUZZ_FAIL("no system error on this platform may end the process"); }
void no_pause(unsigned) {}

std::size_t failure_lines = 0;
bool modem_line_mistake = false;  // the failure line says a modem line was not understood
void count_failure_line(std::string_view line) {
  ++failure_lines;
  modem_line_mistake = line.starts_with(kModemLineMistakeMessage);
}

constexpr int kErrors[] = {ENOENT, EACCES, EIO, ENOMEM, EINTR, EBUSY, ENODEV, EAGAIN};

std::vector<std::string> commands_for(const BandSelection& selection) {
  std::vector<std::string> commands;
  switch (selection.band) {
    case Band::hf: commands = {"LP1;", "TT0;"}; break;
    case Band::vhf: commands = {"LP0;", "TT1;"}; break;
    case Band::lf: commands = {"LP1;", "TT1;"}; break;
  }
  if (!selection.frequency_digits().empty()) {
    commands.push_back("FA" + std::string(selection.frequency_digits()) + ";");
  }
  return commands;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The messages hold the port text: the screen has room for any that fits the input.
  constexpr std::size_t kLongestInput = 4096;
  if (size > kLongestInput) return 0;
  Input input(data, size);
  const std::size_t failing_call = input.byte() % 32;
  const std::uint8_t layer_and_error = input.byte();
  const std::string_view command_text = input.bytes(input.byte());

  FakeSettingsPlatform settings;
  settings.contents = input.bytes(size);
  FakeSerialPlatform serial;
  // Room for the whole failure line, which may name a settings text twice (the device,
  // then the fix), so that its start never scrolls away.
  FakeScreenBuffer screen(80, 2 + 3 * (kLongestInput / 80) + 8);
  const CallOutcome failure = system_failure(static_cast<std::uint32_t>(kErrors[(layer_and_error >> 2) % 8]));
  const int layer = layer_and_error % 4;  // 3: no failure
  if (failing_call != 0 && layer == 0) settings.fail_call(failing_call, failure);
  if (failing_call != 0 && layer == 1) serial.fail_call(failing_call, failure);
  if (failing_call != 0 && layer == 2) screen.fail_call(failing_call);

  ConsoleOutput console(screen);
  ErrorState errors(no_fatal_error);
  FileTable files;
  RunEnvironment environment{console, settings, serial, no_pause, count_failure_line, errors, files};
  failure_lines = 0;
  modem_line_mistake = false;
  const ExitCode exit_code = run_sequence(command_text, environment);
  FUZZ_CHECK(exit_code == ExitCode::sent || exit_code == ExitCode::failed);
  // A failed run says why once; a good one says nothing.
  FUZZ_CHECK(failure_lines == (exit_code == ExitCode::failed ? 1u : 0u));

  // Every write is one whole command, in the order of the run's commands.
  const BandSelection selection = select_band_and_frequency(command_text);
  const std::vector<std::string> commands = selection.out_of_range ? std::vector<std::string>{}
                                                                    : commands_for(selection);
  std::string received;
  std::size_t next_command = 0;
  std::size_t writes = 0;
  for (const FakeSerialPlatform::Entry& entry : serial.log) {
    if (entry.call != FakeSerialPlatform::Call::write) continue;
    ++writes;
    while (next_command < commands.size() && commands[next_command] != entry.bytes) ++next_command;
    FUZZ_CHECK(next_command < commands.size());
    ++next_command;
  }
  std::string all_commands;
  for (const std::string& command : commands) all_commands += command;

  FUZZ_CHECK(settings.open_handles == 0);
  if (exit_code == ExitCode::sent) {
    FUZZ_CHECK(writes == commands.size());
    FUZZ_CHECK(serial.received == all_commands);
  }
  const bool faulted = failing_call != 0 && layer != 3;
  // A modem line the settings do not say right fails the run before the port opens.
  if (modem_line_mistake) FUZZ_CHECK(serial.log.empty());
  bool modem_lines_asked = false;
  for (const FakeSerialPlatform::Entry& entry : serial.log) {
    // A line asked ON alone is raised only after the line settings all took: each write
    // carries what was asked.
    modem_lines_asked = modem_lines_asked || entry.call == FakeSerialPlatform::Call::set_modem_lines ||
                        (entry.call == FakeSerialPlatform::Call::write_line_settings && entry.settings.modem_lines.any());
  }
  if (!faulted || layer == 2) {
    // Without a failing system call only the out-of-range frequency or a baud rate the
    // driver refuses (0) keeps the run from its end; a console may drop output, no more.
    bool refused_rate = false;
    for (const FakeSerialPlatform::Entry& entry : serial.log) {
      if (entry.call != FakeSerialPlatform::Call::write_line_settings) continue;
      refused_rate = entry.settings.baud_rate == serial.refused_baud_rate;
      break;
    }
    // With modem lines asked for, a refused rate sends nothing: it may have carried them.
    FUZZ_CHECK(selection.out_of_range || modem_line_mistake || serial.received == all_commands ||
               (refused_rate && modem_lines_asked && serial.received.empty()));
    FUZZ_CHECK((exit_code == ExitCode::sent) == !(selection.out_of_range || refused_rate || modem_line_mistake));
  }
  if (exit_code == ExitCode::failed && (!faulted || layer != 2)) {
    const std::string shown = screen.text();
    const bool told = shown.find(kOutOfRangeMessage) != std::string::npos ||
                      shown.find(kSettingsMissingMessage) != std::string::npos ||
                      shown.find(kSettingsUnreadableMessage) != std::string::npos ||
                      shown.find("Serial port COM") != std::string::npos ||
                      shown.find(kModemLineMistakeMessage) != std::string::npos;
    FUZZ_CHECK(told);
  }
  return 0;
}
