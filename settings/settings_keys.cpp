#include "settings/settings_keys.h"

#include <algorithm>

namespace vornset {
namespace {

constexpr std::string_view port_key = "COM";
constexpr std::string_view baud_key = "BAUD";
constexpr std::string_view dtr_key = "DTR";
constexpr std::string_view rts_key = "RTS";
constexpr std::string_view blanks = " \t";
constexpr std::string_view device_folder = "/dev/";
constexpr std::string_view utf8_signature = "\xEF\xBB\xBF";

constexpr bool is_upper_case_word(std::string_view key) {
  if (key.empty()) return false;
  for (const char byte : key) {
    if (byte < 'A' || byte > 'Z') return false;
  }
  return true;
}
static_assert(is_upper_case_word(port_key) && is_upper_case_word(baud_key) &&
              is_upper_case_word(dtr_key) && is_upper_case_word(rts_key));

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

// Gives where the value behind `key` starts; npos when the line does not hold the key.
std::size_t apply_key(std::string_view line, std::string_view key, std::string& text) {
  const std::size_t position = find_in_any_case(line, key);
  if (position == std::string_view::npos) return position;
  // The value is taken from the line as read: its letters keep their case.
  text.assign(line.substr(position + key.size()));
  return position + key.size();
}

bool starts_with_in_any_case(std::string_view text, std::string_view key) {
  if (text.size() < key.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (!matches_letter(text[i], key[i])) return false;
  }
  return true;
}

std::string_view without_leading_blanks(std::string_view text) {
  text.remove_prefix(std::min(text.size(), text.find_first_not_of(blanks)));
  return text;
}

// "ON" or "OFF" between blanks: at least one in front, any number behind. Anything
// else is no level at all.
LineLevel level_of(std::string_view value) {
  if (value.empty() || blanks.find(value.front()) == std::string_view::npos) return LineLevel::as_found;
  value = without_leading_blanks(value);
  value.remove_suffix(value.size() - std::min(value.size(), value.find_last_not_of(blanks) + 1));
  if (value.size() == 2 && starts_with_in_any_case(value, "ON")) return LineLevel::on;
  if (value.size() == 3 && starts_with_in_any_case(value, "OFF")) return LineLevel::off;
  return LineLevel::as_found;
}

// `part` is where a line starts, or what follows a lone LF in it; false when no modem
// line key begins there.
bool apply_modem_key(std::string_view line, std::string_view part, bool at_line_start,
                     PortSettings& settings) {
  // The signature of a UTF-8 file stands in front of its first line's key.
  if (part.substr(0, utf8_signature.size()) == utf8_signature) part.remove_prefix(utf8_signature.size());
  part = without_leading_blanks(part);
  const bool dtr = starts_with_in_any_case(part, dtr_key);
  if (!dtr && !starts_with_in_any_case(part, rts_key)) return false;
  const LineLevel level = level_of(part.substr(dtr_key.size()));
  if (at_line_start && level != LineLevel::as_found) {
    (dtr ? settings.modem_lines.dtr : settings.modem_lines.rts) = level;
  } else if (settings.modem_line_mistake.empty()) {
    settings.modem_line_mistake.assign(line);
  }
  return true;
}

void apply_modem_keys(std::string_view line, PortSettings& settings) {
  apply_modem_key(line, line, true, settings);
  // memchr finds the rare LF at vector speed; a line without one costs nothing more.
  for (std::size_t feed = line.find('\n'); feed != std::string_view::npos; feed = line.find('\n', feed + 1)) {
    if (apply_modem_key(line, line.substr(feed + 1), false, settings)) return;
  }
}

}  // namespace

void apply_settings_keys(std::string_view line, PortSettings& settings) {
  if (const std::size_t value = apply_key(line, port_key, settings.port_text); value != std::string_view::npos) {
    settings.names_port = true;
    settings.port_line_start.assign(line.substr(0, value));
  } else if (!settings.names_port && settings.unkeyed_port_line.empty() &&
             line.find(device_folder) != std::string_view::npos) {
    // A port written without its key: the run would go to COM1.
    settings.unkeyed_port_line.assign(line);
  }
  apply_key(line, baud_key, settings.baud_text);
  apply_modem_keys(line, settings);
}

}  // namespace vornset
