#include "settings/settings_reader.h"

#include <string>

#include "frame/error_state.h"
#include "settings/settings_file.h"
#include "settings/settings_keys.h"
#include "settings/settings_platform.h"

namespace vornset {
namespace {

// Only the first place of the search order counts: what it holds by that name is the
// settings file, and when that is no plain file the file is missing, whatever later
// places hold.
bool find_plain_file(std::string_view file_name, std::string& full_path,
                     SettingsPlatform& platform, ErrorState& errors) {
  CallOutcome outcome = platform.search(file_name, full_path);
  if (outcome.failed()) {
    errors.record(outcome.error_number);
    return false;
  }
  if (full_path.empty()) return false;
  bool plain_file = false;
  outcome = platform.is_plain_file(full_path, plain_file);
  if (outcome.failed()) {
    errors.record(outcome.error_number);
    return false;
  }
  return plain_file;
}

}  // namespace

SettingsOutcome read_settings(std::string_view file_name, PortSettings& settings,
                              SettingsPlatform& platform, FileTable& files,
                              ErrorState& errors) {
  std::string& full_path = settings.file_path;
  if (!find_plain_file(file_name, full_path, platform, errors)) return SettingsOutcome::missing;

  SettingsFile file(platform, files, errors);
  if (!file.open(full_path)) return SettingsOutcome::unreadable;
  std::string line;
  while (!file.at_end()) {
    if (!file.read_line(line)) break;
    apply_settings_keys(line, settings);
  }
  file.close();
  return file.failed() ? SettingsOutcome::unreadable : SettingsOutcome::read;
}

}  // namespace vornset
