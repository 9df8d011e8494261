#pragma once

#include <string_view>

#include "settings/port_settings.h"

namespace vornset {

class ErrorState;
class FileTable;
class SettingsPlatform;

enum class SettingsOutcome {
  read,        // the file was read to its end; the texts hold what its lines set
  missing,     // no plain file of that name in the first place of the search order
  unreadable,  // found, but it could not be opened or a read failed
};

// Finds the settings file `file_name`, reads it line by line as file number 2 and lets
// every line that holds "COM" or "BAUD" replace the port or baud text. The path the
// search found is kept in `settings`, for the run to name the file it read. A file that is
// found but cannot be read must not let the defaults through: they would send to
// whatever sits on the default port. After `unreadable` the texts may hold anything the
// lines read so far set. Each failing platform call records its error number.
SettingsOutcome read_settings(std::string_view file_name, PortSettings& settings,
                              SettingsPlatform& platform, FileTable& files,
                              ErrorState& errors);

}  // namespace vornset
