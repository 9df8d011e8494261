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

// Most useful first: by kind, then by settings line.
bool before(const ListedPort& a, const ListedPort& b) {
  if (a.kind != b.kind) return a.kind < b.kind;
  return naturally_before(a.settings_line, b.settings_line);
}

}  // namespace

std::string port_list_text(const std::vector<ListedPort>& ports) {
  if (ports.empty()) return "No serial port found\n";
  // A machine has tens of ports at most: an insertion sort of pointers keeps equal ones
  // in their order and adds little to the program text, which every run has in memory
  // (a library sort brought several kilobytes of merge code that only this list uses).
  std::vector<const ListedPort*> order;
  order.reserve(ports.size());
  for (const ListedPort& port : ports) {
    auto at = order.end();
    while (at != order.begin() && before(port, **(at - 1))) --at;
    order.insert(at, &port);
  }
  std::vector<std::string> settings_lines;
  std::size_t width = 0;
  for (const ListedPort* port : order) {
    settings_lines.push_back(shown_as_glyphs(port->settings_line));
    width = std::max(width, settings_lines.back().size());
  }
  std::string text;
  for (std::size_t i = 0; i < order.size(); ++i) {
    std::string line = settings_lines[i];
    line.resize(width + 2, ' ');
    line += shown_as_glyphs(order[i]->device);
    for (const std::string& detail : order[i]->details) {
      line += ", ";
      line += shown_as_glyphs(detail);
    }
    text += line;
    text += '\n';
  }
  return text;
}

}  // namespace vornset
