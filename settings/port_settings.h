#pragma once

#include <string>

#include "serial/modem_lines.h"

namespace vornset {

// The two texts the serial port takes from the settings file, kept exactly as they stand
// there (the serial port parses the baud text itself), and the modem lines it asks for.
// The defaults are what a file without the keys leaves.
struct PortSettings {
  std::string port_text = "1";
  // The line the port text was taken from, up to its key as written there: with the port
  // text it makes the whole line, which a hint quotes as the user wrote it.
  std::string port_line_start = "COM";
  std::string baud_text = "9600";
  // The file the texts were read from, as the search found it; empty until one is found.
  std::string file_path;
  ModemLines modem_lines;
  // The first line that starts with DTR or RTS and says no more than ON or OFF, as read;
  // empty when none did. Such a line fails the run before the port is opened: a safety
  // setting that is silently passed over keys the transmitter.
  std::string modem_line_mistake;
  // Whether a line held COM: without one the port is COM1 by default.
  bool names_port = false;
  // The first line that names a device path without the COM key ("PORT=/dev/ttyUSB0"),
  // as read; kept only while no line holds COM, for the hint of a failed port.
  std::string unkeyed_port_line;
};

}  // namespace vornset
