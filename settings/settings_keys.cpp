#include "settings/settings_keys.h"

namespace vornset {
namespace {

constexpr std::string_view port_key = "COM";
constexpr std::string_view baud_key = "BAUD";

constexpr bool is_upper_case_word(std::string_view key) {
  if (key.empty()) return false;
  for (const char byte : key) {
    if (byte < 'A' || byte > 'Z') return false;
  }
  return true;
}
static_assert(is_upper_case_word(port_key) && is_upper_case_word(baud_key));

// Only a to z fold: every other byte of a line, whatever the code page makes of it, must
// match a key exactly. A key is all letters, and the two cases of a letter differ only in
// bit 0x20, so a byte matches a key letter exactly when the two agree with that bit set.
bool matches_letter(char byte, char letter) { return (byte | 0x20) == (letter | 0x20); }

// Where `key` first stands in `line`, in any letter case; npos when nowhere.
std::size_t find_in_any_case(std::string_view line, std::string_view key) {
  if (line.size() < key.size()) return std::string_view::npos;
  const std::size_t last = line.size() - key.size();
  for (std::size_t position = 0; position <= last; ++position) {
    // Most positions fail on the first letter: that test alone is the scan's loop.
    if (!matches_letter(line[position], key[0])) continue;
    std::size_t matched = 1;
    while (matched < key.size() && matches_letter(line[position + matched], key[matched])) ++matched;
    if (matched == key.size()) return position;
  }
  return std::string_view::npos;
}

void apply_key(std::string_view line, std::string_view key, std::string& text) {
  const std::size_t position = find_in_any_case(line, key);
  if (position == std::string_view::npos) return;
  // The value is taken from the line as read: its letters keep their case.
  text.assign(line.substr(position + key.size()));
}

}  // namespace

void apply_settings_keys(std::string_view line, PortSettings& settings) {
  apply_key(line, port_key, settings.port_text);
  apply_key(line, baud_key, settings.baud_text);
}

}  // namespace vornset
