#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/guarded_call.h"
#include "serial/modem_lines.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#endif

namespace vornset {

// A file descriptor on POSIX, a HANDLE on Windows; -1 is no port on both
// (INVALID_HANDLE_VALUE is -1 as an integer).
using PortHandle = std::intptr_t;
inline constexpr PortHandle no_port = -1;

// A command the port does not take within this time is a failed send: a line held off
// by flow control must not hang the run.
inline constexpr std::uint32_t send_time_limit_ms = 2000;

// The values match the Windows DCB encoding (NOPARITY .. SPACEPARITY, ONESTOPBIT ..
// TWOSTOPBITS), so a DCB field converts by a cast and survives a round trip unchanged.
enum class Parity : std::uint8_t { none = 0, odd = 1, even = 2, mark = 3, space = 4 };
enum class StopBits : std::uint8_t { one = 0, one_and_half = 1, two = 2 };

#ifdef _WIN32
using NativeLineSettings = DCB;
#else
using NativeLineSettings = termios;
#endif

// The line properties the program changes. `native` carries everything else exactly as
// the driver reported it, so that writing back puts every other property back unchanged.
struct LineSettings {
  std::uint32_t baud_rate = 0;
  std::uint8_t data_bits = 8;
  StopBits stop_bits = StopBits::one;
  Parity parity = Parity::none;
  bool parity_checking = false;
  // Where the line settings hold the modem lines (Windows' DCB), a write sets those asked
  // and a read reports them; elsewhere both leave them as found.
  ModemLines modem_lines;
  NativeLineSettings native{};
};

struct QueueSizes {
  std::uint32_t receive = 0;
  std::uint32_t transmit = 0;
};

// Every system call the serial port makes goes through this interface, so that tests can
// answer or fail any one of them. Each call gives the outcome of its platform call (a
// failed outcome carries the system's code and the error number it maps to).
class SerialPlatform {
 public:
  // Opens the device that the port text names for reading and writing, so that no other
  // program shares it where the system can refuse that (Windows), or else locked against
  // other programs that lock it (POSIX). A name refused by the naming rules fails with
  // error number 64.
  virtual CallOutcome open(std::string_view port_text, PortHandle& handle) = 0;
  // How a failure message names the device of a port text ("COM3", "/dev/ttyUSB0").
  virtual std::string device_name(std::string_view port_text) const = 0;
  // What the system can tell about a refused open beyond its code, in place of the
  // plain reason ("in use by minicom, pid 1234"); empty when nothing more is known.
  // Asked on the failure path only.
  virtual std::string open_refusal_reason(std::string_view, std::uint32_t) const { return {}; }

  virtual CallOutcome read_line_settings(PortHandle handle, LineSettings& settings) = 0;
  // Fails when the driver refuses or silently ignores any of the values.
  virtual CallOutcome write_line_settings(PortHandle handle, const LineSettings& settings) = 0;
  // The setting the last failed write was refused, where the port can name it ("7 data
  // bits": a device server answered with its own value); empty when only the code is
  // known. Asked on the failure path only.
  virtual std::string line_refusal_reason() const { return {}; }

  // Sets DTR and RTS as `lines` asks, leaving a line asked as found alone. Where the line
  // settings hold them (Windows' DCB) there is nothing to do. A port that cannot set them
  // fails; `reason` then says why where the system code alone would not ("no modem lines
  // on this port").
  virtual CallOutcome set_modem_lines(PortHandle handle, ModemLines lines, std::string& reason) = 0;

  virtual CallOutcome read_queue_sizes(PortHandle handle, QueueSizes& sizes) = 0;
  virtual CallOutcome request_queue_sizes(PortHandle handle, const QueueSizes& sizes) = 0;

  // Makes the writes of this port waitable for a bounded time only, at most `milliseconds`
  // each. A failed outcome carries the error number to record.
  virtual CallOutcome limit_write_time(PortHandle handle, std::uint32_t milliseconds) = 0;

  // All `bytes`, waiting for room at most `milliseconds` in all; `written` says how many
  // the port took. Fails as timed out when the time ends first.
  virtual CallOutcome write(PortHandle handle, std::string_view bytes, std::size_t& written,
                            std::uint32_t milliseconds) = 0;
  // A steady clock in milliseconds that may wrap: only the difference of two readings
  // counts. It costs no system call where the system can avoid one.
  virtual std::uint32_t milliseconds_now() = 0;

  // Waits until the driver's output queue is empty, and then until the hardware has sent
  // its last byte where the driver can tell, at most `milliseconds` in all: a driver
  // takes a write at once and sends it later, so a taken write is not yet a sent one.
  // Fails as a timed-out write fails when bytes are still queued at the end.
  virtual CallOutcome wait_until_sent(PortHandle handle, std::uint32_t milliseconds) = 0;
  // Throws away what the driver still holds for sending, so that the process can end at
  // once instead of waiting for a line that is held off. The port may be closed by it:
  // no call uses the handle afterwards.
  virtual CallOutcome discard_output(PortHandle handle) = 0;

 protected:
  // Never destroyed through the interface, so that the system's platform, which lives
  // for the whole run, is made at compile time and needs no destructor at exit.
  ~SerialPlatform() = default;
};

// The platform the program runs on: the local port, or the network port for a port text
// that names one.
SerialPlatform& system_serial_platform();
// The local serial port of this system alone.
SerialPlatform& local_serial_platform();

// Leaves the port that the system platform opened as other programs found it before the
// run: on POSIX its terminal's exclusive-use flag is cleared again. The port itself stays
// open until the process ends, unless discard_output closed it. The exit sequence calls
// it on every way out; calling it again, or without an open port, does nothing.
void release_serial_port();

}  // namespace vornset
