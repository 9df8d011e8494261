#pragma once

#include <string>
#include <termios.h>

namespace vornset::testing_support {

// A pseudo-terminal standing in for a serial line: the program opens `device_path()`,
// the test reads what arrived from the other side. The test keeps the device side open
// as well, so the line does not hang up when the program exits.
class SerialLine {
 public:
  SerialLine();
  ~SerialLine();
  SerialLine(const SerialLine&) = delete;
  SerialLine& operator=(const SerialLine&) = delete;

  const std::string& device_path() const { return device_path_; }
  int device_fd() const { return device_fd_; }
  // The instrument's side: what it sends arrives at the program's port.
  int instrument_fd() const { return instrument_fd_; }

  // Every byte that has arrived, waiting up to `quiet_milliseconds` for more after the last.
  std::string received(int quiet_milliseconds = 100);
  termios device_settings() const;
  // Whether the terminal refuses further opens (TIOCEXCL). Root is never refused, so a
  // test looks at the flag rather than trying an open.
  bool exclusive() const;
  // User-mode emulators do not pass the question on.
  bool exclusive_flag_readable() const;
  // The device goes away as an unplugged USB port does: the terminal hangs up and its
  // node leaves /dev/pts.
  void unplug();

 private:
  int instrument_fd_ = -1;
  int device_fd_ = -1;
  std::string device_path_;
};

}  // namespace vornset::testing_support
