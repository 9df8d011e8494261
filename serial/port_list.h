#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vornset {

// Which ports a user most likely means: an adapter just plugged in before the ports
// built into the machine.
enum class PortKind : std::uint8_t { usb, other, built_in };

// One serial port of this machine, as `vornset --ports` shows it.
struct ListedPort {
  std::string settings_line;         // the VornSet.ini line that selects it: "COM2", "COM/dev/..."
  std::string device;                // "/dev/ttyUSB0", "\Device\Serial0"
  std::vector<std::string> details;  // driver, maker, product, "serial A50285BI", where known
  PortKind kind = PortKind::other;
};

// One line per port, most useful first (by kind, then the settings lines in natural order,
// COM2 before COM10): the settings line, then the device and what is known of it. With no
// port, the one line "No serial port found". Every text from the system is shown as
// glyphs, so a maker's name cannot put a control character on the terminal.
[[gnu::cold]] std::string port_list_text(const std::vector<ListedPort>& ports);

// The serial ports of this machine, found without opening, locking or writing anything.
[[gnu::cold]] std::vector<ListedPort> system_serial_ports();

}  // namespace vornset
