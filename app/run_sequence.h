#pragma once

#include <string_view>

#include "frame/exit_code.h"

namespace vornset {

class ConsoleOutput;
class ErrorState;
class FileTable;
class SerialPlatform;
class SettingsPlatform;

// Everything a run touches outside itself; tests put fakes in place of the system.
struct RunEnvironment {
  ConsoleOutput& console;
  SettingsPlatform& settings;
  SerialPlatform& serial;
  void (*pause_milliseconds)(unsigned milliseconds);
  // Gets the line that says why a run failed, once, after the console showed it.
  void (*log_failure)(std::string_view line);
  ErrorState& errors;
  FileTable& files;
};

// Texts the run prints when it cannot do its job.
inline constexpr std::string_view kOutOfRangeMessage = "Frequency out of range";
inline constexpr std::string_view kSettingsMissingMessage =
    "VornSet.INI not found, COM port parameters cannot be set";
inline constexpr std::string_view kSettingsUnreadableMessage =
    "VornSet.INI cannot be read, COM port parameters cannot be set";
inline constexpr unsigned kSettingsMessagePauseMilliseconds = 2000;
// The second line of a missing settings file where the search needs explaining: the
// name as it is looked for, and the places; empty where the system's own search is used.
extern const std::string_view kSettingsSearchNote;

// One run, straight through: select band and frequency from the command text, report
// them, read the settings, open and configure the port, send the commands and wait
// until they have left.
ExitCode run_sequence(std::string_view command_text, RunEnvironment& environment);

// The program's main routine on the real system.
ExitCode main_routine();

}  // namespace vornset
