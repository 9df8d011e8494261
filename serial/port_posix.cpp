#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <iterator>

#include "frame/error_number.h"
#include "frame/guarded_call.h"
#include "serial/device_path.h"
#include "serial/port_termios2_linux.h"
#include "serial/serial_platform.h"

namespace vornset {

namespace {

CallOutcome failure(int err) { return {static_cast<std::uint32_t>(err), error_number_for_errno(err)}; }

// A system call that says it failed by returning -1; only then does errno count.
template <typename Call>
CallOutcome checked(Call&& call) {
  CallOutcome outcome;
  if (guarded_call(call, outcome) != -1) return {};
  return outcome.failed() ? outcome : failure(EIO);
}

struct StandardRate {
  std::uint32_t rate;
  speed_t code;
};

// Rate 0 is missing on purpose: B0 does not set a rate, it hangs the line up.
constexpr StandardRate standard_rates[] = {
    {50, B50},           {75, B75},           {110, B110},         {134, B134},
    {150, B150},         {200, B200},         {300, B300},         {600, B600},
    {1200, B1200},       {1800, B1800},       {2400, B2400},       {4800, B4800},
    {9600, B9600},       {19200, B19200},     {38400, B38400},     {57600, B57600},
    {115200, B115200},   {230400, B230400},   {460800, B460800},   {500000, B500000},
    {576000, B576000},   {921600, B921600},   {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

const StandardRate* standard_rate_of(std::uint32_t rate) {
  for (const StandardRate& entry : standard_rates) {
    if (entry.rate == rate) return &entry;
  }
  return nullptr;
}

// What `native` says about the settings the program changes. Its rate is known from the
// B constant, or, for a rate set through termios2, asked of the kernel.
CallOutcome decode(int fd, const termios& native, LineSettings& settings) {
  settings.native = native;
  const speed_t code = cfgetospeed(&native);
  settings.baud_rate = 0;
  bool known = code == B0;
  for (const StandardRate& entry : standard_rates) {
    if (entry.code == code) {
      settings.baud_rate = entry.rate;
      known = true;
    }
  }
  if (!known) {
    const CallOutcome outcome = checked([&] { return read_baud_rate(fd, settings.baud_rate); });
    if (outcome.failed()) return outcome;
  }
  switch (native.c_cflag & CSIZE) {
    case CS5: settings.data_bits = 5; break;
    case CS6: settings.data_bits = 6; break;
    case CS7: settings.data_bits = 7; break;
    default: settings.data_bits = 8; break;
  }
  settings.stop_bits = (native.c_cflag & CSTOPB) != 0 ? StopBits::two : StopBits::one;
  if ((native.c_cflag & PARENB) == 0) {
    settings.parity = Parity::none;
  } else if ((native.c_cflag & CMSPAR) != 0) {
    settings.parity = (native.c_cflag & PARODD) != 0 ? Parity::mark : Parity::space;
  } else {
    settings.parity = (native.c_cflag & PARODD) != 0 ? Parity::odd : Parity::even;
  }
  settings.parity_checking = (native.c_iflag & INPCK) != 0;
  return {};
}

void set_flag(tcflag_t& flags, tcflag_t flag, bool on) {
  if (on) {
    flags |= flag;
  } else {
    flags &= ~flag;
  }
}

// `settings.native` with the program's values put in; false for a value the terminal
// interface cannot express. The rate is left to the caller.
bool encode(const LineSettings& settings, termios& native) {
  native = settings.native;
  tcflag_t size = 0;
  switch (settings.data_bits) {
    case 5: size = CS5; break;
    case 6: size = CS6; break;
    case 7: size = CS7; break;
    case 8: size = CS8; break;
    default: return false;
  }
  native.c_cflag = (native.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | size;
  switch (settings.stop_bits) {
    case StopBits::one: native.c_cflag &= ~static_cast<tcflag_t>(CSTOPB); break;
    case StopBits::two: native.c_cflag |= CSTOPB; break;
    default: return false;
  }
  switch (settings.parity) {
    // PARODD and CMSPAR mean nothing without PARENB and stay as they were.
    case Parity::none: native.c_cflag &= ~static_cast<tcflag_t>(PARENB); break;
    case Parity::odd: case Parity::even: case Parity::mark: case Parity::space:
      native.c_cflag |= PARENB;
      set_flag(native.c_cflag, PARODD, settings.parity == Parity::odd || settings.parity == Parity::mark);
      set_flag(native.c_cflag, CMSPAR, settings.parity == Parity::mark || settings.parity == Parity::space);
      break;
    default: return false;
  }
  set_flag(native.c_iflag, INPCK, settings.parity_checking);
  return true;
}

// Drivers round a rate they cannot make exactly; the kernel calls a rate within 2 % the
// same rate. Further off, the driver has not taken it.
bool rate_taken(std::uint32_t asked, std::uint32_t got) {
  const std::uint64_t difference = asked > got ? asked - got : got - asked;
  return difference * 50 <= asked;
}

bool settings_taken(const LineSettings& asked, const LineSettings& got) {
  return rate_taken(asked.baud_rate, got.baud_rate) && asked.data_bits == got.data_bits &&
         asked.stop_bits == got.stop_bits && asked.parity == got.parity &&
         asked.parity_checking == got.parity_checking;
}

class PosixSerialPlatform final : public SerialPlatform {
 public:
  CallOutcome open(std::string_view port_text, PortHandle& handle) override;
  std::string device_name(std::string_view port_text) const override;
  CallOutcome read_line_settings(PortHandle handle, LineSettings& settings) override;
  CallOutcome write_line_settings(PortHandle handle, const LineSettings& settings) override;
  CallOutcome read_queue_sizes(PortHandle handle, QueueSizes& sizes) override;
  CallOutcome request_queue_sizes(PortHandle handle, const QueueSizes& sizes) override;
  CallOutcome limit_write_time(PortHandle handle, std::uint32_t milliseconds) override;
  CallOutcome write(PortHandle handle, std::string_view bytes, std::size_t& written) override;
};

int fd_of(PortHandle handle) { return static_cast<int>(handle); }

void close_quietly(int fd) {
  CallOutcome ignored;
  guarded_call([fd] { return ::close(fd); }, ignored);
}

CallOutcome PosixSerialPlatform::open(std::string_view port_text, PortHandle& handle) {
  handle = no_port;
  // The same names are refused as on Windows, so a settings file means the same on both.
  if (port_text.find_first_of("*?") != std::string_view::npos) {
    return {static_cast<std::uint32_t>(EINVAL), error_number::bad_file_name};
  }
  const std::string path = device_path_for_port_text(port_text);
  if (path.empty()) return failure(ENODEV);
  // A NUL would end the path early and name another device.
  if (path.find('\0') != std::string::npos) return failure(ENOENT);

  CallOutcome outcome;
  const int fd = guarded_call(
      [&] { return ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }, outcome);
  if (fd == -1) return outcome.failed() ? outcome : failure(EIO);

  // As Windows refuses a disk file, only a terminal device is a serial port here.
  if (guarded_call([fd] { return ::isatty(fd); }, outcome) != 1) {
    close_quietly(fd);
    return failure(ENOTTY);
  }
  // Windows opens ports exclusively; flock plus TIOCEXCL gives POSIX the same.
  outcome = checked([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); });
  if (outcome.failed()) {
    close_quietly(fd);
    return outcome.system_code == EWOULDBLOCK ? failure(EBUSY) : outcome;
  }
  outcome = checked([fd] { return ::ioctl(fd, TIOCEXCL); });
  if (outcome.failed()) {
    close_quietly(fd);
    return outcome;
  }
  handle = fd;
  return {};
}

std::string PosixSerialPlatform::device_name(std::string_view port_text) const {
  std::string name = device_path_for_port_text(port_text);
  if (name.empty()) {
    name = "COM";
    name += port_text;
  }
  return name;
}

CallOutcome PosixSerialPlatform::read_line_settings(PortHandle handle, LineSettings& settings) {
  const int fd = fd_of(handle);
  termios native{};
  const CallOutcome outcome = checked([&] { return ::tcgetattr(fd, &native); });
  if (outcome.failed()) return outcome;
  return decode(fd, native, settings);
}

CallOutcome PosixSerialPlatform::write_line_settings(PortHandle handle, const LineSettings& settings) {
  const int fd = fd_of(handle);
  termios native{};
  if (!encode(settings, native)) return failure(EINVAL);

  LineSettings before;
  const CallOutcome decoded = decode(fd, settings.native, before);
  if (decoded.failed()) return decoded;
  const bool rate_changes = settings.baud_rate != before.baud_rate;
  const StandardRate* standard = standard_rate_of(settings.baud_rate);
  if (rate_changes && settings.baud_rate == 0) return failure(EINVAL);  // as drivers refuse it
  if (rate_changes && standard != nullptr) {
    cfsetospeed(&native, standard->code);
    cfsetispeed(&native, standard->code);
  }
  CallOutcome outcome = checked([&] { return ::tcsetattr(fd, TCSANOW, &native); });
  if (outcome.failed()) return outcome;
  if (rate_changes && standard == nullptr) {
    outcome = checked([&] { return set_custom_baud_rate(fd, settings.baud_rate); });
    if (outcome.failed()) return outcome;
  }
  // tcsetattr succeeds when any part was taken; reading back shows what the driver did.
  LineSettings after;
  outcome = read_line_settings(handle, after);
  if (outcome.failed()) return outcome;
  return settings_taken(settings, after) ? CallOutcome{} : failure(EINVAL);
}

// A terminal's queues belong to the kernel and have no size to ask for.
CallOutcome PosixSerialPlatform::read_queue_sizes(PortHandle, QueueSizes& sizes) {
  sizes = {};
  return {};
}

CallOutcome PosixSerialPlatform::request_queue_sizes(PortHandle, const QueueSizes&) { return {}; }

// Every write polls for room first, for at most the send time limit; nothing to set.
CallOutcome PosixSerialPlatform::limit_write_time(PortHandle, std::uint32_t) { return {}; }

CallOutcome PosixSerialPlatform::write(PortHandle handle, std::string_view bytes, std::size_t& written) {
  written = 0;
  const int fd = fd_of(handle);
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(send_time_limit_ms);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return failure(ETIMEDOUT);
    pollfd room{fd, POLLOUT, 0};
    CallOutcome outcome;
    const int ready = guarded_call([&] { return ::poll(&room, 1, static_cast<int>(left.count())); }, outcome);
    if (ready == 0) return failure(ETIMEDOUT);
    if (ready > 0) break;  // room, or an error that the write will report
    if (outcome.system_code != EINTR) return outcome.failed() ? outcome : failure(EIO);
  }
  CallOutcome outcome;
  const ssize_t result = guarded_call([&] { return ::write(fd, bytes.data(), bytes.size()); }, outcome);
  if (result < 0) return outcome.failed() ? outcome : failure(EIO);
  written = static_cast<std::size_t>(result);
  return {};
}

}  // namespace

SerialPlatform& system_serial_platform() {
  static PosixSerialPlatform platform;
  return platform;
}

}  // namespace vornset
