#pragma once

#include <cstddef>
#include <string_view>

namespace vornset {

// find_tail_start for any 16-bit unit type, so that Windows can apply it to its wchar_t
// command line in place.
template <typename Unit>
std::size_t find_tail_start_in(std::basic_string_view<Unit> line) {
  static_assert(sizeof(Unit) == 2);
  const auto unit = [&](std::size_t i) { return static_cast<char16_t>(line[i]); };
  const auto skip_spaces = [&](std::size_t i) {
    while (i < line.size() && unit(i) == u' ') ++i;
    return i;
  };
  if (line.empty()) return 0;
  if (unit(0) == u'"') {
    const std::size_t closing = line.find(static_cast<Unit>(u'"'), 1);
    if (closing == std::basic_string_view<Unit>::npos) return line.size();
    return skip_spaces(closing + 1);
  }
  if (unit(0) == u' ') return skip_spaces(0);
  // Every unit above U+0020 belongs to the name, non-ASCII ones included.
  std::size_t end = 1;
  while (end < line.size() && unit(end) > u' ') ++end;
  if (end < line.size() && unit(end) == u' ') return skip_spaces(end);
  return end;
}

}  // namespace vornset
