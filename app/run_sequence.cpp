#include "app/run_sequence.h"

#include "app/band_selection.h"
#include "app/console_report.h"
#include "app/settings_hint.h"
#include "frame/console_output.h"
#include "serial/device_commands.h"
#include "serial/serial_link.h"
#include "settings/settings_reader.h"

namespace vornset {
namespace {

constexpr std::string_view kSettingsFileName = "VornSet.ini";

void print_line(ConsoleOutput& console, std::string_view text) {
  console.print_text(text);
  console.end_line();
}

// The line that says why the run failed: on the console, and to a log when no
// terminal shows the console.
ExitCode fail_with(RunEnvironment& environment, std::string_view line) {
  print_line(environment.console, line);
  environment.log_failure(line);
  return ExitCode::failed;
}

}  // namespace

ExitCode run_sequence(std::string_view command_text, RunEnvironment& environment) {
  ConsoleOutput& console = environment.console;
  const BandSelection selection = select_band_and_frequency(command_text);
  if (selection.out_of_range) return fail_with(environment, kOutOfRangeMessage);
  print_console_report(console, selection);

  // Without its settings the run would send to whatever sits on the default port.
  PortSettings settings;
  switch (read_settings(kSettingsFileName, settings, environment.settings, environment.files,
                        environment.errors)) {
    case SettingsOutcome::read: break;
    case SettingsOutcome::missing:
      fail_with(environment, kSettingsMissingMessage);
      if (!kSettingsSearchNote.empty()) print_line(console, kSettingsSearchNote);
      environment.pause_milliseconds(kSettingsMessagePauseMilliseconds);
      return ExitCode::failed;
    case SettingsOutcome::unreadable:
      fail_with(environment, kSettingsUnreadableMessage);
      environment.pause_milliseconds(kSettingsMessagePauseMilliseconds);
      return ExitCode::failed;
  }

  // Before the port opens: a modem line left as the driver has it may key a transmitter.
  if (!settings.modem_line_mistake.empty()) return fail_with(environment, modem_line_mistake_message(settings));

  // Every step runs even after a failure: each records its own error number, and the
  // first failure is what the user is told.
  SerialLink link(environment.serial, environment.files, environment.errors);
  link.open(settings.port_text);
  link.configure(settings.baud_text, settings.modem_lines);
  send_band_commands(link, selection.band);
  send_frequency_command(link, selection.frequency_digits());
  // Sent means gone out on the line, not only taken by the driver.
  link.wait_until_sent();
  // What the settings file may have got wrong is looked at only once the run failed.
  if (link.failed()) {
    return fail_with(environment,
                     link.failure_message() + settings_mistake_hint(settings, link.port_opened()));
  }
  return ExitCode::sent;
}

}  // namespace vornset
