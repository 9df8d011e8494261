#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "frame/error_number.h"
#include "frame/error_state.h"
#include "frame/file_table.h"
#include "serial/line_time.h"
#include "serial/port_posix.h"
#include "serial/port_termios2_linux.h"
#include "serial/serial_link.h"
#include "serial/serial_platform.h"
#include "tests/support/serial_line_posix.h"

namespace vornset {
namespace {

using testing_support::SerialLine;

// One run's worth of port: its own table of files and error state.
struct Port {
  FileTable files;
  ErrorState errors;
  SerialLink link{system_serial_platform(), files, errors};
};

TEST(PosixPort, CommandsArriveAsExactlyTheirBytesWhateverTheOutputProcessing) {
  SerialLine line;
  termios settings = line.device_settings();
  settings.c_oflag |= OPOST | ONLCR;
  ASSERT_EQ(tcsetattr(line.device_fd(), TCSANOW, &settings), 0);
  Port port;
  port.link.open(line.device_path());
  port.link.configure("19200");
  port.link.send("LP1;");
  port.link.send("TT0;");
  port.link.send("FA00007050000;");
  EXPECT_EQ(line.received(), "LP1;TT0;FA00007050000;");
  EXPECT_EQ(port.errors.count(), 0);
  EXPECT_FALSE(port.link.failed()) << port.link.failure_message();
}

TEST(PosixPort, ConfigureLeaves8N1AtTheRateAndEveryOtherPropertyAsItWas) {
  SerialLine line;
  termios before = line.device_settings();
  before.c_cflag |= CSTOPB | HUPCL | CLOCAL | CRTSCTS;
  before.c_iflag |= INPCK | IXON | ICRNL;
  before.c_oflag |= OPOST | ONLCR;
  before.c_cc[VMIN] = 3;
  cfsetospeed(&before, B4800);
  cfsetispeed(&before, B4800);
  ASSERT_EQ(tcsetattr(line.device_fd(), TCSANOW, &before), 0);
  before = line.device_settings();

  Port port;
  port.link.open(line.device_path());
  port.link.configure(" 19200");
  EXPECT_EQ(port.errors.count(), 0) << port.link.failure_message();

  const termios after = line.device_settings();
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B19200));
  EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B19200));
  EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(after.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(after.c_iflag & INPCK, 0u);
  const tcflag_t set_by_us = CSIZE | PARENB | CSTOPB | CBAUD | CBAUDEX | CIBAUD;
  EXPECT_EQ(after.c_cflag & ~set_by_us, before.c_cflag & ~set_by_us);
  // Raw, as an instrument's line: flow control (IXON, CRTSCTS above) stays as found.
  const tcflag_t raw_input = IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL;
  EXPECT_EQ(after.c_iflag, before.c_iflag & ~static_cast<tcflag_t>(INPCK | raw_input));
  EXPECT_EQ(after.c_oflag, before.c_oflag & ~static_cast<tcflag_t>(OPOST));
  EXPECT_EQ(after.c_lflag, before.c_lflag & ~static_cast<tcflag_t>(ECHO | ECHONL | ICANON | ISIG | IEXTEN));
  for (std::size_t i = 0; i < NCCS; ++i) EXPECT_EQ(after.c_cc[i], before.c_cc[i]) << i;
}

TEST(PosixPort, RateWithoutABConstantGoesThroughTermios2) {
  SerialLine line;
  std::uint32_t kernel_rate = 0;
  if (read_baud_rate(line.device_fd(), kernel_rate) != 0) {
    GTEST_SKIP() << "this system offers no termios2 (user-mode emulators do not pass it on)";
  }
  Port port;
  port.link.open(line.device_path());
  port.link.configure("250000");
  // A pseudo-terminal keeps any rate it is given, so this one must read back exactly.
  EXPECT_EQ(port.errors.count(), 0) << port.link.failure_message();
  LineSettings settings;
  PortHandle handle = ::open(line.device_path().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(handle, 0);
  EXPECT_FALSE(system_serial_platform().read_line_settings(handle, settings).failed());
  EXPECT_EQ(settings.baud_rate, 250000u);
  ::close(static_cast<int>(handle));
}

TEST(PosixPort, RateZeroIsRefusedAndTheLineKeepsItsRate) {
  SerialLine line;
  termios before = line.device_settings();
  cfsetospeed(&before, B4800);
  cfsetispeed(&before, B4800);
  ASSERT_EQ(tcsetattr(line.device_fd(), TCSANOW, &before), 0);
  Port port;
  port.link.open(line.device_path());
  port.link.configure("fast");
  EXPECT_EQ(port.errors.count(), 1);
  EXPECT_EQ(port.errors.last(), error_number::invalid_call);
  const termios after = line.device_settings();
  EXPECT_EQ(cfgetospeed(&after), static_cast<speed_t>(B4800));  // no hang-up through B0
  EXPECT_EQ(port.link.failure_message(),
            "Serial port " + line.device_path() + " refused the line settings (baud rate 0 not supported)");
}

TEST(PosixPort, ASecondOpenIsRefusedAsInUse) {
  SerialLine line;
  Port first;
  first.link.open(line.device_path());
  ASSERT_FALSE(first.link.failed()) << first.link.failure_message();
  Port second;
  second.link.open(line.device_path());
  second.link.send("LP1;");
  EXPECT_EQ(second.errors.count(), 2);
  // The holder is this process, named as the system names it.
  std::string name;
  std::getline(std::ifstream("/proc/self/comm"), name);
  EXPECT_EQ(second.link.failure_message(), "Serial port " + line.device_path() + " could not be opened (in use by " +
                                               name + ", pid " + std::to_string(getpid()) + ")");
  EXPECT_EQ(line.received(), "");
}

class TemporaryFile {
 public:
  TemporaryFile() {
    char name[] = "/tmp/serial-port-test-XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) ::close(fd);
    path_ = name;
  }
  ~TemporaryFile() { std::remove(path_.c_str()); }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

template <std::size_t size>
std::string with_nul(const char (&text)[size]) {
  return std::string(text, size - 1);
}

TEST(PosixPort, OpenFailuresSayWhy) {
  TemporaryFile plain_file;
  const struct {
    std::string port_text;
    int recorded;
    std::string message;
  } table[] = {
      {"/dev/no-such-serial-port", error_number::device_io_error,
       "Serial port /dev/no-such-serial-port could not be opened (no such device)"},
      {"0", error_number::device_io_error, "Serial port COM0 could not be opened (no such device)"},
      {" 3", error_number::device_io_error, "Serial port COM 3 could not be opened (no such device)"},
      {plain_file.path(), error_number::device_io_error,
       "Serial port " + plain_file.path() + " could not be opened (not a serial device)"},
      {"/tmp", error_number::device_io_error, "Serial port /tmp could not be opened (not a serial device)"},
      {"/dev/ttyS*", error_number::bad_file_name, "Serial port /dev/ttyS* could not be opened (invalid name)"},
      {"/dev/tty?0", error_number::bad_file_name, "Serial port /dev/tty?0 could not be opened (invalid name)"},
      {with_nul("/dev/null\0x"), error_number::device_io_error,
       with_nul("Serial port /dev/null\0x could not be opened (no such device)")},
  };
  for (const auto& row : table) {
    Port port;
    port.link.open(row.port_text);
    EXPECT_EQ(port.errors.last(), row.recorded) << row.port_text;
    EXPECT_EQ(port.link.failure_message(), row.message);
    EXPECT_EQ(port.files.find(1), nullptr);
  }
}

TEST(PosixPort, APortThatStopsTakingBytesFailsTheSendInsteadOfHanging) {
  const struct {
    bool unplugged;  // false: output stopped, as flow control stops it
    int min_ms;
    std::string reason;
  } table[] = {
      {false, 1900, "timed out"},
      {true, 0, "device removed"},
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.reason);
    SerialLine line;
    Port port;
    port.link.open(line.device_path());
    port.link.configure("9600");
    if (row.unplugged) {
      line.unplug();
    } else {
      ASSERT_EQ(tcflow(line.device_fd(), TCOOFF), 0);
    }
    const auto start = std::chrono::steady_clock::now();
    port.link.send("LP1;");
    port.link.wait_until_sent();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(row.min_ms));
    EXPECT_LT(waited, std::chrono::milliseconds(3000));
    EXPECT_EQ(port.errors.last(), error_number::device_timeout);
    EXPECT_EQ(port.link.failure_message(),
              "Serial port " + line.device_path() + " did not take all commands (" + row.reason + ")");
    if (!row.unplugged) tcflow(line.device_fd(), TCOON);
  }
}

TEST(PosixPort, ThePortIsExclusiveForTheRunAndSharedAgainWhenTheRunIsReleased) {
  SerialLine line;
  if (!line.exclusive_flag_readable()) {
    GTEST_SKIP() << "this system cannot tell a terminal's exclusive flag (user-mode emulators do not pass it on)";
  }
  ASSERT_FALSE(line.exclusive());
  Port port;
  port.link.open(line.device_path());
  ASSERT_FALSE(port.link.failed()) << port.link.failure_message();
  EXPECT_TRUE(line.exclusive());
  release_serial_port();
  EXPECT_FALSE(line.exclusive());
  // Still open, still locked: the port is the run's until the process ends.
  const int other = ::open(line.device_path().c_str(), O_RDWR | O_NOCTTY);
  EXPECT_GE(other, 0);
  if (other >= 0) {
    EXPECT_EQ(flock(other, LOCK_EX | LOCK_NB), -1);
    ::close(other);
  }
  release_serial_port();  // nothing left to release
  EXPECT_FALSE(line.exclusive());
}

// TIOCOUTQ is SIOCOUTQ on a socket: what the peer has not read yet stands in for bytes
// that the driver holds but has not sent, which a pseudo-terminal never shows. It counts
// the buffers that hold them, many times the bytes, as cdc-acm does. A peer that goes
// away empties the queue and hangs the line up, as an unplugged USB device does. The
// line is 9600 baud, where the run's four bytes take 5 ms.
TEST(PosixPort, WaitUntilSentLooksAtTheQueueUntilItIsEmptyOrTheTimeIsUp) {
  const struct {
    int peer_reads_after_ms;  // -1: never
    std::uint32_t limit_ms;
    bool sent;
    bool peer_leaves = false;  // the peer closes its end instead of reading
    std::size_t queued = 4;    // the bytes in the queue; the run wrote 4
  } table[] = {
      {0, 0, true},  // read before the wait: the first look finds the queue empty
      {100, 2000, true},
      {-1, 150, false},
      {-1, 0, false},
      {100, 2000, false, true},
      // Its count alone would take 5 s on the line: the run's bytes say held.
      {300, 2000, false, true, 4000},
  };
  const LineTimeOf at_9600 = [](int, std::uint64_t bytes) {
    return static_cast<std::uint32_t>(line_time_ms(bytes, 9600));
  };
  for (const auto& row : table) {
    SCOPED_TRACE("peer reads after " + std::to_string(row.peer_reads_after_ms) + " ms, limit " +
                 std::to_string(row.limit_ms) + ", " + std::to_string(row.queued) + " queued");
    int ends[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    const std::string queued(row.queued, 'x');
    ASSERT_EQ(::write(ends[0], queued.data(), queued.size()), static_cast<ssize_t>(queued.size()));
    char got[4];
    if (row.peer_reads_after_ms == 0) {
      ASSERT_EQ(::read(ends[1], got, sizeof got), 4);
    }
    std::thread peer([&] {
      if (row.peer_reads_after_ms <= 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(row.peer_reads_after_ms));
      if (row.peer_leaves) {
        ::close(ends[1]);
        ends[1] = -1;
        return;
      }
      EXPECT_EQ(::read(ends[1], got, sizeof got), 4);
    });
    const auto start = std::chrono::steady_clock::now();
    const CallOutcome outcome = wait_until_sent_on(ends[0], row.limit_ms, 4, at_9600);
    const auto waited = std::chrono::steady_clock::now() - start;
    peer.join();
    EXPECT_EQ(outcome.failed(), !row.sent);
    if (!row.sent) {
      EXPECT_EQ(outcome.system_code, static_cast<std::uint32_t>(row.peer_leaves ? EIO : ETIMEDOUT));
      if (!row.peer_leaves) {
        EXPECT_GE(waited, std::chrono::milliseconds(row.limit_ms));
      }
    }
    if (row.peer_reads_after_ms > 0) {
      EXPECT_GE(waited, std::chrono::milliseconds(row.peer_reads_after_ms));
    }
    EXPECT_LT(waited, std::chrono::milliseconds(row.limit_ms + 1000));
    ::close(ends[0]);
    if (ends[1] >= 0) ::close(ends[1]);
  }
}

}  // namespace
}  // namespace vornset
