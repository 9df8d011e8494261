#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/guarded_call.h"

namespace vornset {

// A file descriptor on POSIX, a HANDLE on Windows; -1 is no file on both
// (INVALID_HANDLE_VALUE is -1 as an integer).
using SettingsFileHandle = std::intptr_t;
inline constexpr SettingsFileHandle no_settings_file = -1;

// The settings file is read through one buffer of this size, refilled at absolute offsets.
inline constexpr std::size_t settings_buffer_size = 128;
using SettingsBuffer = std::array<char, settings_buffer_size>;

// Everything the settings reader asks of the system, so that tests can answer or fail
// any one call. Each call gives the outcome of its platform call: a failed outcome
// carries the system's own code and the error number it maps to.
class SettingsPlatform {
 public:
  // Looks for `name` along the system's search order. `full_path` becomes the path in
  // the first place that holds the name, or stays empty when no place does. Not finding
  // the name is no failure.
  virtual CallOutcome search(std::string_view name, std::string& full_path) = 0;

  // Whether `full_path` is an ordinary file that may be read. A path that holds nothing,
  // a directory or anything else that is not a plain file gives false, and is no failure.
  virtual CallOutcome is_plain_file(const std::string& full_path, bool& plain_file) = 0;

  // Opens `full_path` for reading, with no other program writing it meanwhile where the
  // system can promise that.
  virtual CallOutcome open(const std::string& full_path, SettingsFileHandle& handle) = 0;

  // Reads up to a buffer's worth from the absolute file `offset`; `delivered` is 0 at the
  // end of the data.
  virtual CallOutcome read_at(SettingsFileHandle handle, std::uint64_t offset,
                              SettingsBuffer& buffer, std::size_t& delivered) = 0;

  virtual CallOutcome close(SettingsFileHandle handle) = 0;

 protected:
  // Never destroyed through the interface, so that the system's platform, which lives
  // for the whole run, is made at compile time and needs no destructor at exit.
  ~SettingsPlatform() = default;
};

// The platform the program runs on.
SettingsPlatform& system_settings_platform();

// Ends what the search left open for the rest of the process (the directory search on
// Windows). The exit sequence calls it; calling it again does nothing.
void release_settings_search();

// The outcome of a platform call judged by what it returned: a call that succeeded is
// no failure even when it left an error code behind, and one that failed without a
// code is still a failure, of no particular number.
inline CallOutcome judged_outcome(bool succeeded, CallOutcome outcome) {
  if (succeeded) return {};
  if (!outcome.failed()) {
    outcome.system_code = UINT32_MAX;
    outcome.error_number = error_number::unnumbered;
  }
  return outcome;
}

}  // namespace vornset
