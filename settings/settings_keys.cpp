#include "settings/settings_keys.h"

namespace vornset {
namespace {

constexpr std::string_view port_key = "COM";
constexpr std::string_view baud_key = "BAUD";

// Only a to z fold: every other byte of a line, whatever the code page makes of it,
// must match a key exactly. The length never changes, so a position found in the copy
// is the same position in the line.
void copy_upper_case(std::string_view line, std::string& copy) {
  copy.assign(line);
  for (char& byte : copy) {
    if (byte >= 'a' && byte <= 'z') byte = static_cast<char>(byte - 'a' + 'A');
  }
}

void apply_key(std::string_view line, std::string_view upper_case, std::string_view key,
               std::string& text) {
  const std::size_t position = upper_case.find(key);
  if (position == std::string_view::npos) return;
  // The value is taken from the line as read: its letters keep their case.
  text.assign(line.substr(position + key.size()));
}

}  // namespace

void apply_settings_keys(std::string_view line, std::string& upper_case_copy,
                         PortSettings& settings) {
  copy_upper_case(line, upper_case_copy);
  apply_key(line, upper_case_copy, port_key, settings.port_text);
  apply_key(line, upper_case_copy, baud_key, settings.baud_text);
}

}  // namespace vornset
