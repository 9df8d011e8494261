#include "settings/settings_keys.h"

namespace vornset {
namespace {

constexpr std::string_view port_key = "COM";
constexpr std::string_view baud_key = "BAUD";

// Only a to z fold: every other byte of a line, whatever the code page makes of it,
// must match a key exactly.
char upper_case(char byte) { return byte >= 'a' && byte <= 'z' ? static_cast<char>(byte - 'a' + 'A') : byte; }

// Where `key`, in upper case, first stands in `line` once the line is folded; npos when
// nowhere. The line is folded byte by byte as it is compared, without a folded copy.
std::size_t find_folded(std::string_view line, std::string_view key) {
  if (line.size() < key.size()) return std::string_view::npos;
  const std::size_t last = line.size() - key.size();
  for (std::size_t position = 0; position <= last; ++position) {
    std::size_t matched = 0;
    while (matched < key.size() && upper_case(line[position + matched]) == key[matched]) ++matched;
    if (matched == key.size()) return position;
  }
  return std::string_view::npos;
}

void apply_key(std::string_view line, std::string_view key, std::string& text) {
  const std::size_t position = find_folded(line, key);
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
