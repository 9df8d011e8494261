#include "serial/serial_link.h"

#include <utility>

#include "frame/error_number.h"
#include "frame/error_state.h"
#include "serial/baud_rate.h"
#include "serial/failure_reason.h"
#include "serial/line_time.h"

namespace vornset {

namespace {
constexpr std::uint32_t receive_queue_size = 1024;
constexpr std::uint32_t lowest_baud_rate = 50;

// A line asked for holds when the read reports it as asked, or cannot report it (the
// terminal interface holds no modem lines).
bool holds(LineLevel asked, LineLevel read) {
  return asked == LineLevel::as_found || read == LineLevel::as_found || read == asked;
}
}  // namespace

SerialLink::SerialLink(SerialPlatform& platform, FileTable& files, ErrorState& errors)
    : platform_(platform), files_(files), errors_(errors) {}

void SerialLink::fail(Stage stage, int error_number, std::uint32_t system_code) {
  errors_.record(error_number);
  remember(stage, error_number, system_code);
}

void SerialLink::remember(Stage stage, int error_number, std::uint32_t system_code) {
  if (failure_.stage != Stage::none) return;
  failure_.stage = stage;
  failure_.error_number = error_number;
  failure_.system_code = system_code;
}

void SerialLink::open(std::string_view port_text) {
  device_ = platform_.device_name(port_text);
  if (files_.find(file_number) != nullptr) {
    fail(Stage::open, error_number::file_already_open, 0);
    return;
  }
  PortHandle handle = no_port;
  const CallOutcome outcome = platform_.open(port_text, handle);
  if (outcome.failed()) {
    // Whatever the system said, a port that does not open is 69; only a name refused
    // by the naming rules keeps its own number.
    fail(Stage::open,
         outcome.error_number == error_number::bad_file_name ? error_number::bad_file_name
                                                              : error_number::device_io_error,
         outcome.system_code);
    failure_.reason = platform_.open_refusal_reason(port_text, outcome.system_code);
    return;
  }
  record_.handle = handle;
  // The table records its own error; number 1 was checked free above, so this is a guard.
  if (!files_.add(record_.file, errors_)) remember(Stage::open, errors_.last(), 0);
}

PortHandle SerialLink::port_for(Stage stage) {
  const OpenFile* file = files_.find(file_number);
  if (file == nullptr) {
    fail(stage, error_number::bad_file_number, 0);
    return no_port;
  }
  if (file != &record_.file) {
    fail(stage, error_number::bad_file_mode, 0);
    return no_port;
  }
  return record_.handle;
}

// Each setting is a read, change and write of its own: nothing carries over from the
// setting before, so a refused setting leaves the port as the one before left it.
template <typename Change>
CallOutcome SerialLink::change_line_settings(Change change) {
  const PortHandle port = port_for(Stage::configure);
  if (port == no_port) return {};
  LineSettings settings;
  const CallOutcome read = platform_.read_line_settings(port, settings);
  if (read.failed()) {
    fail(Stage::configure, read.error_number, read.system_code);
    return {};
  }
  line_rate_ = settings.baud_rate;
  settings.modem_lines = modem_lines_;
  change(settings);
  const CallOutcome written = platform_.write_line_settings(port, settings);
  if (written.failed()) {
    const bool first = !failed();
    fail(Stage::configure, error_number::invalid_call, written.system_code);
    if (first) failure_.reason = platform_.line_refusal_reason();
  }
  // Refused or not, a write may have raised the lines: a driver that falls back to a rate
  // of its own takes the line away from rate 0 (B0), and leaving it raises both.
  if (modem_lines_.any()) lower_lines_asked_off();
  return written;
}

// Sets the lines of `lines` that are not as found; nothing to do when there are none.
void SerialLink::set_modem_lines(ModemLines lines) {
  if (!lines.any()) return;
  const PortHandle port = port_for(Stage::configure);
  if (port == no_port) return;
  std::string reason;
  const CallOutcome outcome = platform_.set_modem_lines(port, lines, reason);
  if (!outcome.failed()) return;
  lines_not_as_asked_ = true;
  const bool first = !failed();
  fail(Stage::configure, error_number::invalid_call, outcome.system_code);
  if (first) failure_.reason = std::move(reason);
}

// Lowering a line is always safe, whatever was refused before.
void SerialLink::lower_lines_asked_off() {
  set_modem_lines({modem_lines_.dtr == LineLevel::off ? LineLevel::off : LineLevel::as_found,
                   modem_lines_.rts == LineLevel::off ? LineLevel::off : LineLevel::as_found});
}

void SerialLink::request_receive_queue(std::uint32_t size) {
  const PortHandle port = port_for(Stage::configure);
  if (port == no_port) return;
  QueueSizes sizes;
  const CallOutcome read = platform_.read_queue_sizes(port, sizes);
  if (read.failed()) {
    fail(Stage::configure, read.error_number, read.system_code);
    return;
  }
  // The transmit queue is asked for as the driver reports it now, 0 included.
  sizes.receive = size;
  const CallOutcome requested = platform_.request_queue_sizes(port, sizes);
  if (requested.failed()) fail(Stage::configure, error_number::invalid_call, requested.system_code);
}

void SerialLink::limit_write_time() {
  const PortHandle port = port_for(Stage::configure);
  if (port == no_port) return;
  const CallOutcome outcome = platform_.limit_write_time(port, send_time_limit_ms);
  if (outcome.failed()) {
    write_time_unbounded_ = true;
    fail(Stage::configure, outcome.error_number, outcome.system_code);
  }
}

bool SerialLink::line_ends_as_needed(std::uint32_t rate) {
  LineSettings line;
  // A read that fails proves nothing, and the failure it would explain is told already.
  if (platform_.read_line_settings(record_.handle, line).failed()) return false;
  line_rate_ = line.baud_rate;
  // Rate 0 is no rate: a line left hung up (B0) is not the line the run needs.
  return rate != 0 && rate_taken(rate, line.baud_rate) && line.data_bits == 8 && line.stop_bits == StopBits::one &&
         line.parity == Parity::none && !line.parity_checking && holds(modem_lines_.dtr, line.modem_lines.dtr) &&
         holds(modem_lines_.rts, line.modem_lines.rts);
}

void SerialLink::configure(std::string_view baud_text, ModemLines modem_lines) {
  const std::uint32_t rate = baud_rate_for_text(baud_text);
  const bool failed_before = failed();
  // Right after the open, so that a line the open raised goes down before the line
  // settings take their time.
  modem_lines_ = modem_lines;
  if (modem_lines_.any()) lower_lines_asked_off();
  // No instrument line runs below 50 baud, the slowest rate a UART driver lists: a lower
  // rate is a settings mistake ("BAUD 19,200" reads as 19), asked of the driver as no rate.
  const std::uint32_t asked_rate = rate < lowest_baud_rate ? 0 : rate;
  const CallOutcome baud = change_line_settings([asked_rate](LineSettings& s) { s.baud_rate = asked_rate; });
  // A driver that refuses a rate says only "invalid parameter"; the rate is what it means.
  // Rate 0 is no rate, whatever the driver says: a line already hung up (B0) takes it as
  // no change at all.
  if (!failed_before && asked_rate == 0 && !failed()) fail(Stage::configure, error_number::invalid_call, 0);
  // A refusal the port names itself is that setting's, not the rate's.
  if (!failed_before && (asked_rate == 0 || baud.error_number == error_number::invalid_call) &&
      failure_.reason.empty()) {
    failure_.baud_rate_refused = true;
    failure_.baud_rate = rate;
    failure_.rate_before = line_rate_;
  }
  // Two stop bits first, then 8N1 takes them back to one: the line passes through two
  // stop bits with its old data bits on the way.
  change_line_settings([](LineSettings& s) { s.stop_bits = StopBits::two; });
  change_line_settings([](LineSettings& s) {
    s.data_bits = 8;
    s.stop_bits = StopBits::one;
    s.parity_checking = false;
    s.parity = Parity::none;
  });
  change_line_settings([](LineSettings& s) { s.parity_checking = false; });
  // The line the steps leave is the verdict, not a step on the way: a UART with one stop
  // bit only refuses the step through two and still ends where the run needs it. The
  // refused step keeps its error number. A run without a refusal reads nothing more.
  if (!failed_before && failed() && !lines_not_as_asked_ && line_ends_as_needed(asked_rate)) failure_ = {};
  // With lines asked for, a refused setting may have been the one that carried them.
  if (!failed_before && failed() && modem_lines_.any()) lines_not_as_asked_ = true;
  // A line asked ON goes up only on a line set as asked: after a refusal it might key a
  // transmitter on a line the instrument cannot read.
  if (modem_lines_.any() && !failed() && !lines_not_as_asked_) {
    set_modem_lines({modem_lines_.dtr == LineLevel::on ? LineLevel::on : LineLevel::as_found,
                     modem_lines_.rts == LineLevel::on ? LineLevel::on : LineLevel::as_found});
  }
  request_receive_queue(receive_queue_size);
  limit_write_time();
}

void SerialLink::send(std::string_view command) {
  // A command that was not taken whole ends the sending: a later one alone would leave
  // the instrument half set, and its bytes might join the cut one's into a command of
  // their own.
  if (a_send_failed_) return;
  const PortHandle port = port_for(Stage::send);
  // Without its time limit a write runs under whatever time-outs the driver had, none
  // at all among them; the failed setting is what the user is told.
  // Modem lines not as asked may key a transmitter: nothing goes out.
  if (port == no_port || write_time_unbounded_ || lines_not_as_asked_) return;
  std::size_t written = 0;
  const CallOutcome outcome = platform_.write(port, command, written, sending_time_left_ms());
  bytes_taken_ += written;
  if (outcome.failed() || written < command.size()) {
    a_send_failed_ = true;
    fail(Stage::send, error_number::device_timeout, outcome.system_code);
  }
}

// One deadline for the whole send, from the first write to the end of the wait for
// "sent": the send time limit plus the time the bytes taken so far need on the line.
// After a command that ran out of time the line is held off: another wait would only
// make the run longer, so the queue is looked at once.
std::uint32_t SerialLink::sending_time_left_ms() {
  if (a_send_failed_) return 0;
  const std::uint32_t now = platform_.milliseconds_now();
  if (!sending_started_) {
    sending_started_ = true;
    sending_since_ms_ = now;
  }
  std::uint64_t limit = send_time_limit_ms;
  limit += line_time_ms(bytes_taken_, line_rate_);  // the line the link sets: 8N1
  const std::uint32_t spent = now - sending_since_ms_;  // unsigned: right across the clock's wrap
  if (spent >= limit) return 0;
  limit -= spent;
  return limit > UINT32_MAX ? UINT32_MAX : static_cast<std::uint32_t>(limit);
}

void SerialLink::wait_until_sent() {
  if (bytes_taken_ == 0) return;  // nothing of this run's is queued
  const PortHandle port = port_for(Stage::send);
  if (port == no_port) return;
  const CallOutcome waited = platform_.wait_until_sent(port, sending_time_left_ms());
  if (!waited.failed()) {
    all_sent_ = !a_send_failed_;
    return;
  }
  fail(Stage::send, error_number::device_timeout, waited.system_code);
  // Otherwise the system's close of the port at the end of the process would wait for
  // the held line, for half a minute on Linux, and then throw the bytes away all the same.
  const CallOutcome discarded = platform_.discard_output(port);
  if (discarded.failed()) errors_.record(discarded.error_number);
}

std::string SerialLink::failure_message() const {
  std::string message;
  if (failure_.stage == Stage::none) return message;
  message = "Serial port ";
  message += device_;
  switch (failure_.stage) {
    case Stage::open: message += " could not be opened"; break;
    case Stage::configure: message += " refused the line settings"; break;
    case Stage::send: message += " did not take all commands"; break;
    case Stage::none: break;
  }
  if (failure_.baud_rate_refused) {
    message += " (baud rate ";
    message += std::to_string(failure_.baud_rate);
    message += " not supported)";
    // The commands went out all the same, at the rate the line kept or at one the driver
    // put in its place (ftdi_sio's 9600): say so, as the instrument may have taken them.
    if (all_sent_) {
      message += "; sent at ";
      if (line_rate_ != 0) {
        message += std::to_string(line_rate_);
        message += " baud, ";
      }
      message += line_rate_ == failure_.rate_before ? "the line's rate before" : "the driver's own rate";
    }
    return message;
  }
  // The naming rules are the program's own, the same on every platform; where the port's
  // kind says what is wrong with the name, that is told instead.
  const std::string_view reason = !failure_.reason.empty()  ? std::string_view(failure_.reason)
                                   : failure_.error_number == error_number::bad_file_name ? "invalid name"
                                   : failure_.system_code == 0 ? std::string_view()
                                                               : serial_failure_reason(failure_.system_code);
  if (!reason.empty()) {
    message += " (";
    message += reason;
    message += ')';
  }
  return message;
}

}  // namespace vornset
