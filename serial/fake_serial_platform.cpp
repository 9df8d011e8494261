#include "serial/fake_serial_platform.h"

#ifndef _WIN32
#include "serial/modem_line_requests_posix.h"
#endif

namespace vornset {

CallOutcome system_failure(std::uint32_t system_code) {
#ifdef _WIN32
  return {system_code, error_number_for_windows_code(system_code)};
#else
  return {system_code, error_number_for_errno(static_cast<int>(system_code))};
#endif
}

namespace {
#ifdef _WIN32
constexpr std::uint32_t invalid_parameter = ERROR_INVALID_PARAMETER;
constexpr std::uint32_t bad_handle = ERROR_INVALID_HANDLE;
constexpr std::uint32_t timed_out = ERROR_SEM_TIMEOUT;
constexpr std::uint32_t no_such_call = ERROR_NOT_SUPPORTED;
#else
constexpr std::uint32_t invalid_parameter = EINVAL;
constexpr std::uint32_t bad_handle = EBADF;
constexpr std::uint32_t timed_out = ETIMEDOUT;
constexpr std::uint32_t no_such_call = ENOTTY;
#endif

#ifdef _WIN32
void set_line(LineLevel asked, LineLevel& level) {
  if (asked != LineLevel::as_found) level = asked;
}
#endif
}  // namespace

FakeSerialPlatform::FakeSerialPlatform() {
  // A port left at 9600 baud, 7 data bits, even parity checked, two stop bits: every
  // field differs from what the program sets.
  line.baud_rate = 9600;
  line.data_bits = 7;
  line.stop_bits = StopBits::two;
  line.parity = Parity::even;
  line.parity_checking = true;
}

std::vector<FakeSerialPlatform::Call> FakeSerialPlatform::calls() const {
  std::vector<Call> result;
  for (const Entry& entry : log) result.push_back(entry.call);
  return result;
}

CallOutcome FakeSerialPlatform::begin(Entry entry, PortHandle handle) {
  log.push_back(std::move(entry));
  for (const auto& [n, outcome] : failures_) {
    if (n == log.size()) return outcome;
  }
  if (handle != port_handle) return system_failure(bad_handle);
  return {};
}

CallOutcome FakeSerialPlatform::open(std::string_view port_text, PortHandle& handle) {
  handle = no_port;
  const CallOutcome outcome = begin({Call::open, {}, {}, 0, std::string(port_text)}, port_handle);
  if (!outcome.failed()) handle = port_handle;
  return outcome;
}

std::string FakeSerialPlatform::device_name(std::string_view port_text) const {
  std::string name = "COM";
  name += port_text;
  return name;
}

CallOutcome FakeSerialPlatform::read_line_settings(PortHandle handle, LineSettings& settings) {
  const CallOutcome outcome = begin({Call::read_line_settings, line, {}, 0, {}}, handle);
  if (!outcome.failed()) settings = line;
  return outcome;
}

CallOutcome FakeSerialPlatform::write_line_settings(PortHandle handle, const LineSettings& settings) {
  const CallOutcome outcome = begin({Call::write_line_settings, settings, {}, 0, {}}, handle);
  if (outcome.failed()) return outcome;
  if (settings.baud_rate == refused_baud_rate) {
    // As ftdi_sio puts its fallback rate into a line it cannot set, raising the lines of
    // a line that was at rate 0.
    if (falls_back_to_rate != 0) {
      if (line.baud_rate == 0) lines_now = {LineLevel::on, LineLevel::on};
      line.baud_rate = falls_back_to_rate;
    }
    return system_failure(invalid_parameter);
  }
  if (one_stop_bit_only && settings.stop_bits == StopBits::two) return system_failure(invalid_parameter);
  if (line.baud_rate == 0 && settings.baud_rate != 0) lines_now = {LineLevel::on, LineLevel::on};
#ifdef _WIN32
  // A DCB holds the lines; termios does not.
  set_line(settings.modem_lines.dtr, lines_now.dtr);
  set_line(settings.modem_lines.rts, lines_now.rts);
#endif
  line = settings;
  if (keeps_rate != 0) line.baud_rate = keeps_rate;
  return outcome;
}

CallOutcome FakeSerialPlatform::set_modem_lines(PortHandle handle, ModemLines lines, std::string& reason) {
  LineSettings asked;
  asked.modem_lines = lines;
  const CallOutcome outcome = begin({Call::set_modem_lines, asked, {}, 0, {}}, handle);
  if (outcome.failed()) return outcome;
  if (!has_modem_lines) {
    reason = "no modem lines on this port";
    return system_failure(no_such_call);
  }
#ifdef _WIN32
  set_line(lines.dtr, lines_now.dtr);
  set_line(lines.rts, lines_now.rts);
#else
  // The requests the terminal interface gets, taken as a driver takes them.
  for (const ModemLineRequest& request : modem_line_requests(lines)) {
    const LineLevel level = request.code == TIOCMBIS ? LineLevel::on : LineLevel::off;
    if ((request.lines & TIOCM_DTR) != 0) lines_now.dtr = level;
    if ((request.lines & TIOCM_RTS) != 0) lines_now.rts = level;
  }
#endif
  return outcome;
}

CallOutcome FakeSerialPlatform::read_queue_sizes(PortHandle handle, QueueSizes& sizes) {
  const CallOutcome outcome = begin({Call::read_queue_sizes, {}, queues, 0, {}}, handle);
  if (!outcome.failed()) sizes = queues;
  return outcome;
}

CallOutcome FakeSerialPlatform::request_queue_sizes(PortHandle handle, const QueueSizes& sizes) {
  const CallOutcome outcome = begin({Call::request_queue_sizes, {}, sizes, 0, {}}, handle);
  if (!outcome.failed()) queues = sizes;
  return outcome;
}

CallOutcome FakeSerialPlatform::limit_write_time(PortHandle handle, std::uint32_t milliseconds) {
  return begin({Call::limit_write_time, {}, {}, milliseconds, {}}, handle);
}

CallOutcome FakeSerialPlatform::write(PortHandle handle, std::string_view bytes, std::size_t& written,
                                      std::uint32_t milliseconds) {
  written = 0;
  const CallOutcome outcome = begin({Call::write, {}, {}, milliseconds, std::string(bytes)}, handle);
  if (outcome.failed()) return outcome;
  if (write_waits_ms > milliseconds) {
    clock_ms += milliseconds;
    return system_failure(timed_out);
  }
  clock_ms += write_waits_ms;
  written = bytes.size() < takes_at_most ? bytes.size() : takes_at_most;
  (line_held_for_ms == 0 ? received : queued) += bytes.substr(0, written);
  return outcome;
}

CallOutcome FakeSerialPlatform::wait_until_sent(PortHandle handle, std::uint32_t milliseconds) {
  const CallOutcome outcome = begin({Call::wait_until_sent, {}, {}, milliseconds, {}}, handle);
  if (outcome.failed() || queued.empty()) return outcome;
  if (line_held_for_ms > milliseconds) return system_failure(timed_out);
  received += queued;
  queued.clear();
  return outcome;
}

CallOutcome FakeSerialPlatform::discard_output(PortHandle handle) {
  const CallOutcome outcome = begin({Call::discard_output, {}, {}, 0, {}}, handle);
  if (outcome.failed()) return outcome;
  discarded += queued;
  queued.clear();
  return outcome;
}

}  // namespace vornset
