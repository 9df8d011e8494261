#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <optional>
#include <utility>

#include "frame/error_number.h"
#include "frame/guarded_call.h"
#include "serial/baud_rate.h"
#include "serial/device_path.h"
#include "serial/line_time.h"
#include "serial/lock_file_posix.h"
#include "serial/modem_line_requests_posix.h"
#include "serial/port_list_linux.h"
#include "serial/port_posix.h"
#include "serial/port_refusal_linux.h"
#include "serial/port_termios2_linux.h"
#include "serial/serial_platform.h"
#include "serial/timed_call_posix.h"

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

// How long a port that may have been unplugged is watched for the proof: the kernel hangs
// the port up and removes its node from work queued behind the unplug.
constexpr int removal_watch_ms = 100;

// An unplugged USB port hangs up: its calls fail with EIO (ENODEV from the usb-serial
// core), as for any fault of the device, and its node leaves /dev a moment later, once
// the driver has let go of it. A failed call on a port whose node is gone says so with
// ESHUTDOWN, the code the USB stack itself gives a device that has gone away. Only such
// a failure costs the looks, every 5 ms for at most the watch's time.
CallOutcome unless_removed(int fd, CallOutcome outcome) {
  if (outcome.system_code != EIO && outcome.system_code != ENODEV) return outcome;
  constexpr int look_every_ms = 5;
  for (int look = 0; look < removal_watch_ms / look_every_ms; ++look) {
    struct stat node {};
    if (::fstat(fd, &node) != 0) break;
    if (node.st_nlink == 0) return failure(ESHUTDOWN);
    const timespec pause{0, look_every_ms * 1'000'000L};
    ::nanosleep(&pause, nullptr);
  }
  return outcome;
}

// USB drivers (cdc-acm, the usb-serial core) report an empty queue from the moment their
// device is unplugged, and the port hangs up only a moment later. So a queue that was held
// and then empties is not yet proof of bytes sent: a hang-up within the watch's time says
// the device went away with them. A normal run's queue is never held and pays nothing.
CallOutcome unless_hung_up(int fd) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point until = Clock::now() + std::chrono::milliseconds(removal_watch_ms);
  for (;;) {
    pollfd port{fd, 0, 0};  // no events asked: poll reports only a hang-up
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
    if (left <= 0) return {};
    CallOutcome outcome;
    const int ready = guarded_call([&] { return ::poll(&port, 1, static_cast<int>(left)); }, outcome);
    if (ready > 0 && (port.revents & POLLHUP) != 0) return unless_removed(fd, failure(EIO));
    // A signal (a stop and continue) cuts the watch short; only its time ends it.
    if (ready >= 0 || outcome.system_code != EINTR) return {};
  }
}

// The B constant of a rate that has one; B0 for any other. Rate 0 has none on purpose:
// B0 does not set a rate, it hangs the line up. A switch, as the settings of a line are
// decoded a dozen times a run.
speed_t standard_code_of(std::uint32_t rate) {
  switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    case 1152000: return B1152000;
    case 1500000: return B1500000;
    case 2000000: return B2000000;
    case 2500000: return B2500000;
    case 3000000: return B3000000;
    case 3500000: return B3500000;
    case 4000000: return B4000000;
    default: return B0;
  }
}

// The rate a B constant stands for; 0 for B0 and for a code that stands for none.
std::uint32_t standard_rate_of(speed_t code) {
  switch (code) {
    case B50: return 50;
    case B75: return 75;
    case B110: return 110;
    case B134: return 134;
    case B150: return 150;
    case B200: return 200;
    case B300: return 300;
    case B600: return 600;
    case B1200: return 1200;
    case B1800: return 1800;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    case B460800: return 460800;
    case B500000: return 500000;
    case B576000: return 576000;
    case B921600: return 921600;
    case B1000000: return 1000000;
    case B1152000: return 1152000;
    case B1500000: return 1500000;
    case B2000000: return 2000000;
    case B2500000: return 2500000;
    case B3000000: return 3000000;
    case B3500000: return 3500000;
    case B4000000: return 4000000;
    default: return 0;
  }
}

// A rate set through termios2, which only the kernel knows. Kept out of line, so that
// the common case below stays small enough to be inlined where it is needed.
[[gnu::noinline]] CallOutcome custom_rate_of(int fd, std::uint32_t& rate) {
  return checked([&] { return read_baud_rate(fd, rate); });
}

// The output rate of `native`: known from the B constant or, for a rate set through
// termios2, asked of the kernel.
CallOutcome rate_of(int fd, const termios& native, std::uint32_t& rate) {
  const speed_t code = cfgetospeed(&native);
  rate = standard_rate_of(code);
  if (rate != 0 || code == B0) return {};
  return custom_rate_of(fd, rate);
}

// What `settings.native` says about the settings the program changes.
CallOutcome decode(int fd, LineSettings& settings) {
  const termios& native = settings.native;
  const CallOutcome outcome = rate_of(fd, native, settings.baud_rate);
  if (outcome.failed()) return outcome;
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

// Out of line, so that a read the last write answers, which is every other one, stays
// cheap.
[[gnu::noinline]] CallOutcome read_from_driver(int fd, LineSettings& settings) {
  // Straight into the settings: tcgetattr fills every field, and a failed read leaves
  // settings that no caller uses.
  const CallOutcome outcome = checked([&] { return ::tcgetattr(fd, &settings.native); });
  if (outcome.failed()) return outcome;
  return decode(fd, settings);
}

void set_flag(tcflag_t& flags, tcflag_t flag, bool on) {
  if (on) {
    flags |= flag;
  } else {
    flags &= ~flag;
  }
}

// The line is an instrument's, not a terminal's: no echo of what the instrument sends back
// to it, no line editing or signals from its bytes, no translation of ours on the way out
// (as cfmakeraw). Flow control (IXON, IXOFF, CRTSCTS) is the user's and stays as found.
// Every write of the settings carries it, so the first one leaves the line raw at no cost.
void make_raw(termios& native) {
  native.c_iflag &= ~static_cast<tcflag_t>(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL);
  native.c_oflag &= ~static_cast<tcflag_t>(OPOST);
  native.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
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
  make_raw(native);
  return true;
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
  std::string open_refusal_reason(std::string_view port_text, std::uint32_t system_code) const override;
  CallOutcome read_line_settings(PortHandle handle, LineSettings& settings) override;
  CallOutcome write_line_settings(PortHandle handle, const LineSettings& settings) override;
  CallOutcome set_modem_lines(PortHandle handle, ModemLines lines, std::string& reason) override;
  CallOutcome read_queue_sizes(PortHandle handle, QueueSizes& sizes) override;
  CallOutcome request_queue_sizes(PortHandle handle, const QueueSizes& sizes) override;
  CallOutcome limit_write_time(PortHandle handle, std::uint32_t milliseconds) override;
  CallOutcome write(PortHandle handle, std::string_view bytes, std::size_t& written,
                    std::uint32_t milliseconds) override;
  std::uint32_t milliseconds_now() override;
  CallOutcome wait_until_sent(PortHandle handle, std::uint32_t milliseconds) override;
  CallOutcome discard_output(PortHandle handle) override;

 private:
  CallOutcome write_and_read_back(int fd, const LineSettings& settings);
  // The settings that the last call read back right after its write, when that call was
  // a write of line settings: the next read of the same port takes them instead of
  // asking the driver again, as nothing has touched the port since. Any other call
  // drops them.
  struct ReadBack {
    int fd = -1;
    LineSettings settings;
  };
  ReadBack read_back_;
  void drop_read_back() { read_back_.fd = -1; }
  pid_t lock_file_holder_ = 0;  // found by the last open
  bool console_refused_ = false;  // the last open named the kernel's console
  // The bytes the port has taken since the open. A driver's queue count is no measure of
  // them: cdc-acm counts whole USB buffers, kilobytes for a few bytes.
  std::uint64_t bytes_taken_ = 0;
};

// A plain loop: a comparison through memcmp would map a page of the C library for it.
bool under_pseudo_terminals(std::string_view path) {
  constexpr std::string_view folder = "/dev/pts/";
  if (path.size() <= folder.size()) return false;
  for (std::size_t i = 0; i < folder.size(); ++i) {
    if (path[i] != folder[i]) return false;
  }
  return true;
}

// A plain loop: find_first_of would call memchr once per character of the text.
bool has_wildcard(std::string_view port_text) {
  for (const char character : port_text) {
    if (character == '*' || character == '?') return true;
  }
  return false;
}

int fd_of(PortHandle handle) { return static_cast<int>(handle); }

// Whether `path` leads to the device the kernel writes its messages to.
[[gnu::cold]] bool names_kernel_console(const char* path) {
  struct stat node {};
  return ::stat(path, &node) == 0 && S_ISCHR(node.st_mode) && is_kernel_console("/sys", node.st_rdev);
}

// The port whose terminal the open made exclusive, until release_serial_port() makes
// it shared again; -1 for none.
constinit int exclusive_fd = -1;

void close_quietly(int fd) {
  CallOutcome ignored;
  guarded_call([fd] { return ::close(fd); }, ignored);
}

int open_device(const char* path) { return ::open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC); }

CallOutcome PosixSerialPlatform::open(std::string_view port_text, PortHandle& handle) {
  drop_read_back();
  handle = no_port;
  // The same names are refused as on Windows, so a settings file means the same on both.
  if (has_wildcard(port_text)) return {static_cast<std::uint32_t>(EINVAL), error_number::bad_file_name};
  const std::string path = device_path_for_port_text(port_text);
  if (path.empty()) return failure(ENODEV);
  // A NUL would end the path early and name another device.
  if (path.find('\0') != std::string::npos) return failure(ENOENT);

  // The kernel's console is no instrument's line (COM1 is /dev/ttyS0, the console of
  // many a server and VM). A pseudo-terminal never is one, and costs nothing here.
  console_refused_ = !under_pseudo_terminals(path) && names_kernel_console(path.c_str());
  if (console_refused_) return failure(EPERM);

  // Terminal programs that keep to the UUCP custom mark a port with a lock file instead
  // of, or beside, flock. A live holder keeps us out before anything reaches the port.
  // The holder is kept for the refusal's message, which then names the process that refused.
  lock_file_holder_ = lock_file_holder(path.c_str(), system_lock_directories);
  if (lock_file_holder_ != 0) return failure(EBUSY);

  // A port that does not open within the send time limit is in use.
  int fd = -1;
  CallOutcome outcome = open_within(send_time_limit_ms, open_device, path.c_str(), fd);
  if (outcome.failed()) return outcome;

  // As Windows refuses a disk file, only a terminal device is a serial port here.
  if (guarded_call([fd] { return ::isatty(fd); }, outcome) != 1) {
    close_quietly(fd);
    return failure(ENOTTY);
  }
  // Linux has no exclusive open. flock keeps out the programs that lock a port, as
  // terminal programs do; TIOCEXCL refuses later opens for the run (except to a user
  // with CAP_SYS_ADMIN) and is cleared again at the end, as it is a flag of the terminal
  // that would outlive us while any other program held the port. A program that holds
  // the port without a lock is not seen.
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
  exclusive_fd = fd;
  handle = fd;
  bytes_taken_ = 0;
  return {};
}

std::string PosixSerialPlatform::open_refusal_reason(std::string_view port_text,
                                                     std::uint32_t system_code) const {
  if (console_refused_) return "it is this machine's console";
  const std::string path = device_path_for_port_text(port_text);
  if (path.empty() || path.find('\0') != std::string::npos) return {};
  return vornset::open_refusal_reason(path.c_str(), static_cast<int>(system_code),
                                      RefusalSources{.lock_file_holder = lock_file_holder_});
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
  if (read_back_.fd == fd) {
    drop_read_back();
    settings = read_back_.settings;
    return {};
  }
  drop_read_back();
  return unless_removed(fd, read_from_driver(fd, settings));
}

CallOutcome PosixSerialPlatform::write_line_settings(PortHandle handle, const LineSettings& settings) {
  drop_read_back();
  const int fd = fd_of(handle);
  return unless_removed(fd, write_and_read_back(fd, settings));
}

CallOutcome PosixSerialPlatform::write_and_read_back(int fd, const LineSettings& settings) {
  termios native;  // encode copies all of it
  if (!encode(settings, native)) return failure(EINVAL);

  std::uint32_t rate_before = 0;
  const CallOutcome decoded = rate_of(fd, settings.native, rate_before);
  if (decoded.failed()) return decoded;
  const bool rate_changes = settings.baud_rate != rate_before;
  const speed_t standard = standard_code_of(settings.baud_rate);
  if (rate_changes && settings.baud_rate == 0) return failure(EINVAL);  // as drivers refuse it
  if (rate_changes && standard != B0) {
    cfsetospeed(&native, standard);
    cfsetispeed(&native, standard);
  }
  CallOutcome outcome = checked([&] { return ::tcsetattr(fd, TCSANOW, &native); });
  if (outcome.failed()) return outcome;
  if (rate_changes && standard == B0) {
    outcome = checked([&] { return set_custom_baud_rate(fd, settings.baud_rate); });
    if (outcome.failed()) return outcome;
  }
  // tcsetattr succeeds when any part was taken; reading back shows what the driver did.
  LineSettings& after = read_back_.settings;
  outcome = read_from_driver(fd, after);
  if (outcome.failed()) return outcome;
  read_back_.fd = fd;
  return settings_taken(settings, after) ? CallOutcome{} : failure(EINVAL);
}

// One TIOCMBIC for the lines to lower, one TIOCMBIS for those to raise. The line
// settings leave termios as it was, so a settings read kept from the last write stays
// true. A driver without modem lines (a pseudo-terminal) fails with ENOTTY, or EINVAL.
CallOutcome PosixSerialPlatform::set_modem_lines(PortHandle handle, ModemLines lines, std::string& reason) {
  const int fd = fd_of(handle);
  CallOutcome outcome;
  for (ModemLineRequest request : modem_line_requests(lines)) {
    if (request.lines == 0 || outcome.failed()) continue;
    outcome = checked([&] { return ::ioctl(fd, request.code, &request.lines); });
  }
  if (outcome.system_code == ENOTTY || outcome.system_code == EINVAL) reason = "no modem lines on this port";
  return unless_removed(fd, outcome);
}

// A terminal's queues belong to the kernel and have no size to ask for.
CallOutcome PosixSerialPlatform::read_queue_sizes(PortHandle, QueueSizes& sizes) {
  drop_read_back();
  sizes = {};
  return {};
}

CallOutcome PosixSerialPlatform::request_queue_sizes(PortHandle, const QueueSizes&) {
  drop_read_back();
  return {};
}

// A write that finds no room waits for it, at most the send time limit; nothing to set.
CallOutcome PosixSerialPlatform::limit_write_time(PortHandle, std::uint32_t) {
  drop_read_back();
  return {};
}

// A monotonic clock read through the vDSO: no system call.
std::uint32_t PosixSerialPlatform::milliseconds_now() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

CallOutcome PosixSerialPlatform::write(PortHandle handle, std::string_view bytes, std::size_t& written,
                                       std::uint32_t milliseconds) {
  drop_read_back();
  written = 0;
  const int fd = fd_of(handle);
  using Clock = std::chrono::steady_clock;
  // The port is non-blocking, so a write without room returns at once, having written
  // what fitted; only then is there a wait, for room, at most `milliseconds` in all.
  // Asking for room before every write would cost a system call that is almost never
  // needed. The rest of a short write follows once there is room: a command is taken
  // whole or the time is up.
  std::optional<Clock::time_point> deadline;
  while (written < bytes.size()) {
    CallOutcome outcome;
    const std::string_view rest = bytes.substr(written);
    const ssize_t result = guarded_call([&] { return ::write(fd, rest.data(), rest.size()); }, outcome);
    if (result > 0) {
      written += static_cast<std::size_t>(result);
      bytes_taken_ += static_cast<std::size_t>(result);
      continue;
    }
    if (result < 0 && outcome.system_code != EAGAIN && outcome.system_code != EWOULDBLOCK) {
      return unless_removed(fd, outcome.failed() ? outcome : failure(EIO));
    }
    if (!deadline) deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - Clock::now());
      if (left.count() <= 0) return failure(ETIMEDOUT);
      pollfd room{fd, POLLOUT, 0};
      const int ready = guarded_call([&] { return ::poll(&room, 1, static_cast<int>(left.count())); }, outcome);
      if (ready == 0) return failure(ETIMEDOUT);
      if (ready > 0) break;  // room, or an error that the next write will report
      if (outcome.system_code != EINTR) return unless_removed(fd, outcome.failed() ? outcome : failure(EIO));
    }
  }
  return {};
}

// The time `bytes` take on the line at its rate and format; 0 when the line cannot be
// read. Asked only of a queue that still holds bytes.
std::uint32_t line_time_of_port_ms(int fd, std::uint64_t bytes) {
  LineSettings line;
  if (checked([&] { return ::tcgetattr(fd, &line.native); }).failed() || decode(fd, line).failed()) return 0;
  const std::uint64_t milliseconds =
      line_time_ms(bytes, line.baud_rate, {line.data_bits, line.parity, line.stop_bits});
  return milliseconds > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(milliseconds);
}

CallOutcome PosixSerialPlatform::wait_until_sent(PortHandle handle, std::uint32_t milliseconds) {
  drop_read_back();
  return wait_until_sent_on(fd_of(handle), milliseconds, bytes_taken_, line_time_of_port_ms);
}

// Throws away what the driver holds, then closes the port at once. A flush does nothing
// on many USB drivers: the usb-serial core has no flush operation, and cdc-acm keeps the
// transfers it has handed to the USB stack. The kernel's close at the process's end would
// then wait up to 30 s for the held line, at a point where no signal ends the wait. Closed
// here under a timer, the close's wait ends at once, and the driver's shutdown cancels
// what it still holds: nothing goes out later.
CallOutcome PosixSerialPlatform::discard_output(PortHandle handle) {
  drop_read_back();
  const int fd = fd_of(handle);
  const CallOutcome flushed = unless_removed(fd, checked([&] { return ::tcflush(fd, TCOFLUSH); }));
  release_serial_port();  // the exclusive flag is the terminal's: cleared while the port is ours
  call_within(0, ::close, fd);  // interrupted (EINTR) is its expected end; the port is closed then too
  return flushed;
}

}  // namespace

SerialPlatform& local_serial_platform() {
  static PosixSerialPlatform platform;
  return platform;
}

// TIOCOUTQ counts the bytes that the driver holds and has not yet handed to the
// hardware. The normal run finds none, which costs this one call; only bytes that are
// still queued lead to the loop, which looks again every few milliseconds. Then tcdrain
// waits for what the hardware itself still holds, where the driver can tell: the UART's
// shift register (serial core), an FTDI or CP210x chip's buffer. Other USB drivers
// (cdc-acm, pl2303, ch341, the generic usb-serial driver) answer at once, and their queue
// is all there is to see. tcdrain has no bound of its own and the process ignores
// Ctrl+C: a timer ends it when the time is up, as a line held off would keep it forever.
CallOutcome wait_until_sent_on(int fd, std::uint32_t milliseconds, std::uint64_t run_bytes,
                               LineTimeOf line_time_of) {
  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> deadline;
  // A queue that still holds bytes 50 ms after the time the run's bytes take on the line
  // is held.
  Clock::time_point held_from;
  bool held = false;
  for (;;) {
    int queued = 0;
    const CallOutcome outcome = checked([&] { return ::ioctl(fd, TIOCOUTQ, &queued); });
    if (outcome.failed()) return unless_removed(fd, outcome);
    if (queued <= 0) break;
    const Clock::time_point now = Clock::now();
    if (!deadline) {
      deadline = now + std::chrono::milliseconds(milliseconds);
      held_from = now + std::chrono::milliseconds(line_time_of(fd, run_bytes) + 50);
    }
    if (now >= *deadline) return failure(ETIMEDOUT);
    held = held || now >= held_from;
    constexpr auto look_again_after = std::chrono::milliseconds(5);
    const auto pause = std::min<Clock::duration>(look_again_after, *deadline - now);
    const auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(pause).count();
    const timespec wait{0, static_cast<long>(nanoseconds)};
    ::nanosleep(&wait, nullptr);  // a signal that cuts it short only makes the next look sooner
  }
  std::uint32_t left = milliseconds;
  if (deadline) {
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
    left = rest > 0 ? static_cast<std::uint32_t>(rest) : 0;
  }
  const CallOutcome drained = call_within(left, ::tcdrain, fd);
  if (drained.system_code == EINTR) return failure(ETIMEDOUT);  // the deadline, and only it
  // A descriptor that is no terminal (a socket standing in for a port) has no
  // transmitter beyond the queue just seen empty.
  if (!drained.failed() || drained.system_code == ENOTTY) return held ? unless_hung_up(fd) : CallOutcome{};
  return unless_removed(fd, drained);
}

void release_serial_port() {
  if (exclusive_fd < 0) return;
  CallOutcome ignored;  // at the end of the run there is nobody left to tell
  guarded_call([] { return ::ioctl(exclusive_fd, TIOCNXCL); }, ignored);
  exclusive_fd = -1;
}

}  // namespace vornset
