#include "serial/port_list.h"

#include <algorithm>
#include <string_view>

#include "frame/terminal_glyph.h"

namespace vornset {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Text before runs of digits, the runs by their value: "COM2" before "COM10".
bool naturally_before(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (is_digit(a[i]) && is_digit(b[j])) {
      const std::size_t a_start = i;
      const std::size_t b_start = j;
      while (i < a.size() && is_digit(a[i])) ++i;
      while (j < b.size() && is_digit(b[j])) ++j;
      std::string_view a_run = a.substr(a_start, i - a_start);
      std::string_view b_run = b.substr(b_start, j - b_start);
      a_run.remove_prefix(std::min(a_run.size() - 1, a_run.find_first_not_of('0')));
      b_run.remove_prefix(std::min(b_run.size() - 1, b_run.find_first_not_of('0')));
      if (a_run.size() != b_run.size()) return a_run.size() < b_run.size();
      if (a_run != b_run) return a_run < b_run;
      continue;
    }
    if (a[i] != b[j]) return a[i] < b[j];
    ++i;
    ++j;
  }
  return a.size() - i < b.size() - j;
}

}  // namespace

std::string port_list_text(std::vector<ListedPort> ports) {
  if (ports.empty()) return "No serial port found\n";
  std::stable_sort(ports.begin(), ports.end(), [](const ListedPort& a, const ListedPort& b) {
    if (a.kind != b.kind) return a.kind < b.kind;
    return naturally_before(a.settings_line, b.settings_line);
  });
  std::vector<std::string> settings_lines;
  std::size_t width = 0;
  for (const ListedPort& port : ports) {
    settings_lines.push_back(shown_as_glyphs(port.settings_line));
    width = std::max(width, settings_lines.back().size());
  }
  std::string text;
  for (std::size_t i = 0; i < ports.size(); ++i) {
    std::string line = settings_lines[i];
    line.resize(width + 2, ' ');
    line += shown_as_glyphs(ports[i].device);
    for (const std::string& detail : ports[i].details) {
      line += ", ";
      line += shown_as_glyphs(detail);
    }
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace vornset
