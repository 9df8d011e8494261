#include "serial/device_commands.h"

#include <string>

#include "serial/serial_link.h"

namespace vornset {

void send_band_commands(SerialLink& link, Band band) {
  switch (band) {
    case Band::vhf:
      link.send(device_command::filter_out);
      link.send(device_command::zero_dbm_output);
      return;
    case Band::lf:
      link.send(device_command::filter_in);
      link.send(device_command::zero_dbm_output);
      return;
    case Band::hf:
      break;
  }
  link.send(device_command::filter_in);
  link.send(device_command::power_output);
}

void send_frequency_command(SerialLink& link, std::string_view frequency_digits) {
  if (frequency_digits.empty()) return;
  // 14 bytes for the usual eleven digits: short enough to need no allocation.
  std::string command(device_command::set_frequency);
  command += frequency_digits;
  command += ';';
  link.send(command);
}

}  // namespace vornset
