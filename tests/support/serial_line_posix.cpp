#include "tests/support/serial_line_posix.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace vornset::testing_support {

SerialLine::SerialLine() {
  char name[256] = {};
  if (openpty(&instrument_fd_, &device_fd_, name, nullptr, nullptr) != 0) {
    ADD_FAILURE() << "openpty failed";
    return;
  }
  // The device keeps the kernel's default settings (output processing on): the
  // commands must arrive unchanged all the same.
  device_path_ = name;
}

SerialLine::~SerialLine() {
  if (device_fd_ >= 0) close(device_fd_);
  if (instrument_fd_ >= 0) close(instrument_fd_);
}

std::string SerialLine::received(int quiet_milliseconds) {
  std::string bytes;
  char buffer[256];
  pollfd readable{instrument_fd_, POLLIN, 0};
  while (poll(&readable, 1, quiet_milliseconds) > 0 && (readable.revents & POLLIN) != 0) {
    const ssize_t got = read(instrument_fd_, buffer, sizeof buffer);
    if (got <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(got));
  }
  return bytes;
}

void SerialLine::unplug() {
  close(instrument_fd_);
  instrument_fd_ = -1;
}

bool SerialLine::exclusive() const {
  int flag = -1;
  EXPECT_EQ(ioctl(device_fd_, TIOCGEXCL, &flag), 0);
  return flag != 0;
}

bool SerialLine::exclusive_flag_readable() const {
  int flag = 0;
  return ioctl(device_fd_, TIOCGEXCL, &flag) == 0;
}

termios SerialLine::device_settings() const {
  termios settings{};
  tcgetattr(device_fd_, &settings);
  return settings;
}

}  // namespace vornset::testing_support
