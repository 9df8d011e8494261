#include "serial/device_path.h"

namespace vornset {

namespace {
constexpr unsigned highest_port_number = 256;  // COM1 to COM256, as Windows numbers them
}  // namespace

std::string device_path_for_port_text(std::string_view port_text) {
  if (!port_text.empty() && port_text.front() == '/') return std::string(port_text);
  if (port_text.empty()) return {};
  unsigned number = 0;
  for (const char c : port_text) {
    if (c < '0' || c > '9') return {};
    number = number * 10 + static_cast<unsigned>(c - '0');
    if (number > highest_port_number) return {};
  }
  if (number == 0) return {};
  std::string path = "/dev/ttyS";
  path += std::to_string(number - 1);
  return path;
}

}  // namespace vornset
