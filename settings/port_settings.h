#pragma once

#include <string>

namespace vornset {

// The two texts the serial port takes from the settings file, kept exactly as they stand
// there (the serial port parses the baud text itself). The defaults are what a file
// without the keys leaves.
struct PortSettings {
  std::string port_text = "1";
  std::string baud_text = "9600";
  // The file the texts were read from, as the search found it; empty until one is found.
  std::string file_path;
};

}  // namespace vornset
