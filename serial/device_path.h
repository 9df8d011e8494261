#pragma once

#include <string>
#include <string_view>

namespace vornset {

// The device that a port text names where devices are paths. A text that begins with '/'
// is a path used as it stands ('COM/dev/ttyUSB0' in the settings); a text of decimal digits
// only, of value n from 1 to 256, names /dev/ttyS(n-1), as COM1 is the first serial port.
// Any other text names no device: the result is empty.
std::string device_path_for_port_text(std::string_view port_text);

}  // namespace vornset
