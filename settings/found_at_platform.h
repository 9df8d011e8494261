#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "settings/settings_platform.h"

namespace vornset {

// The system's own platform, except that the search finds the given path: tests read
// real files without putting them where the real search would look.
class FoundAtPlatform final : public SettingsPlatform {
 public:
  explicit FoundAtPlatform(std::string path) : path_(std::move(path)) {}

  CallOutcome search(std::string_view, std::string& full_path) override {
    full_path = path_;
    return {};
  }
  CallOutcome is_plain_file(const std::string& full_path, bool& plain_file) override {
    return system().is_plain_file(full_path, plain_file);
  }
  CallOutcome open(const std::string& full_path, SettingsFileHandle& handle) override {
    return system().open(full_path, handle);
  }
  CallOutcome read_at(SettingsFileHandle handle, std::uint64_t offset, SettingsBuffer& buffer,
                      std::size_t& delivered) override {
    return system().read_at(handle, offset, buffer, delivered);
  }
  CallOutcome close(SettingsFileHandle handle) override { return system().close(handle); }

 private:
  static SettingsPlatform& system() { return system_settings_platform(); }
  std::string path_;
};

}  // namespace vornset
