#include "network/network_port.h"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <utility>

#include "network/network_address.h"
#include "network/rfc2217.h"
#include "network/socket_calls.h"
#include "network/telnet_reader.h"

namespace vornset {

namespace {

using Clock = std::chrono::steady_clock;

// The whole session (lookup, connection, negotiation, sends, the wait for "sent") ends
// within the send time limit and a second, with room left for the process to end.
constexpr auto session_time = std::chrono::milliseconds(send_time_limit_ms + 800);
// A server that refuses a client says so at once; a raw TCP port has no other answer to
// wait for, so the open listens this long for one.
constexpr auto refusal_grace = std::chrono::milliseconds(200);
// What a refusal's text may show of itself.
constexpr std::size_t max_server_text = 60;

CallOutcome failure(std::uint32_t code) {
  // The error number is the run's own; the code says what to tell the user.
  return {code, error_number::device_io_error};
}

#ifdef _WIN32
constexpr std::uint32_t timed_out_code = 10060;       // WSAETIMEDOUT
constexpr std::uint32_t refused_value_code = 87;      // ERROR_INVALID_PARAMETER
constexpr std::uint32_t closed_code = 10054;          // WSAECONNRESET
bool closed(const CallOutcome& outcome) { return outcome.system_code == closed_code || outcome.system_code == 10053; }
#else
constexpr std::uint32_t timed_out_code = ETIMEDOUT;
constexpr std::uint32_t refused_value_code = EINVAL;
constexpr std::uint32_t closed_code = ECONNRESET;
bool closed(const CallOutcome& outcome) { return outcome.system_code == closed_code || outcome.system_code == EPIPE; }
#endif

// A line setting the server does not take, numbered as a driver's refusal is.
CallOutcome refused_value() { return {refused_value_code, error_number::invalid_call}; }

class NetworkSerialPlatform final : public SerialPlatform {
 public:
  CallOutcome open(std::string_view port_text, PortHandle& handle) override;
  std::string device_name(std::string_view port_text) const override { return std::string(port_text); }
  std::string open_refusal_reason(std::string_view, std::uint32_t system_code) const override;
  CallOutcome read_line_settings(PortHandle, LineSettings& settings) override {
    settings = line_;
    // A request the server never answered may still take effect: the line is not known.
    return line_unanswered_ ? failure(timed_out_code) : CallOutcome{};
  }
  CallOutcome write_line_settings(PortHandle handle, const LineSettings& settings) override;
  CallOutcome read_queue_sizes(PortHandle, QueueSizes& sizes) override {
    sizes = {};
    return {};
  }
  CallOutcome request_queue_sizes(PortHandle, const QueueSizes&) override { return {}; }
  CallOutcome limit_write_time(PortHandle, std::uint32_t) override { return {}; }
  CallOutcome set_modem_lines(PortHandle handle, ModemLines lines, std::string& reason) override;
  CallOutcome write(PortHandle handle, std::string_view bytes, std::size_t& written,
                    std::uint32_t milliseconds) override;
  std::uint32_t milliseconds_now() override {
    // Wraps after 49 days; the link only ever takes differences.
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(since.count());
  }
  CallOutcome wait_until_sent(PortHandle handle, std::uint32_t milliseconds) override;
  CallOutcome discard_output(PortHandle handle) override;
  CallOutcome set_modem_line(rfc2217::ModemLine line, bool on, std::string& reason);

 private:
  // Reads what the server sent until `done` holds after a byte, or the deadline. Telnet
  // requests are answered on the way; data bytes are kept, bounded, for a refusal's text.
  template <typename Done>
  CallOutcome read_until(Deadline deadline, Done done);
  CallOutcome handle_byte(std::uint8_t byte, bool& subnegotiation_done);
  // A connection the server closed, with what it said before.
  CallOutcome closed_by_server();
  CallOutcome ask(const rfc2217::Request* requests, std::size_t count, bool* taken, Deadline deadline);
  Deadline deadline_within(std::uint32_t milliseconds) const;

  SocketHandle socket_ = no_socket;
  NetworkProtocol protocol_ = NetworkProtocol::raw_tcp;
  Deadline session_end_{};
  TelnetReader reader_;
  rfc2217::Negotiation negotiation_;
  LineSettings line_;
  bool line_known_ = false;  // the data size, parity and stop bits confirmed once
  bool line_unanswered_ = false;  // a line setting went unanswered
  std::uint64_t bytes_written_ = 0;  // the run's data bytes the server has taken
  std::string server_text_;
  std::string reason_;
};

Deadline NetworkSerialPlatform::deadline_within(std::uint32_t milliseconds) const {
  const Deadline own = Clock::now() + std::chrono::milliseconds(milliseconds);
  return own < session_end_ ? own : session_end_;
}

std::string NetworkSerialPlatform::open_refusal_reason(std::string_view port_text, std::uint32_t system_code) const {
  std::string reason = connect_refusal_reason(port_text, system_code);
  return reason.empty() ? reason_ : reason;
}

CallOutcome NetworkSerialPlatform::handle_byte(std::uint8_t byte, bool& subnegotiation_done) {
  const TelnetEvent event =
      protocol_ == NetworkProtocol::rfc2217 ? reader_.feed(byte) : TelnetEvent::data;
  if (event == TelnetEvent::data) {
    if (server_text_.size() < max_server_text) server_text_ += static_cast<char>(byte);
    return {};
  }
  if (event == TelnetEvent::subnegotiation && reader_.option() == rfc2217::com_port_option) {
    subnegotiation_done = true;
    return {};
  }
  const std::string_view reply = negotiation_.reply(event, reader_.option());
  if (reply.empty()) return {};
  // A reply that cannot go out is no failure of its own: a server that has gone shows at
  // the next read, after the rest of what it said has been read.
  std::size_t sent = 0;
  send_bytes(socket_, reply, session_end_, sent);
  return {};
}

CallOutcome NetworkSerialPlatform::closed_by_server() {
  // ser2net tells a second client "Port already in use" before it closes.
  std::string text = server_text_;
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  bool in_use = false;
  for (std::size_t index = 0; index + 6 <= text.size(); ++index) {
    if ((text[index] == 'i' || text[index] == 'I') && text.compare(index + 1, 5, "n use") == 0) in_use = true;
  }
  reason_ = in_use ? "in use by another client" : "closed by the server";
  if (!text.empty()) {
    // Shown as it came, bounded; the console turns control characters into pictures.
    reason_ += ": \"";
    reason_ += text;
    reason_ += '"';
  }
  return failure(closed_code);
}

template <typename Done>
CallOutcome NetworkSerialPlatform::read_until(Deadline deadline, Done done) {
  std::uint8_t buffer[256];
  for (;;) {
    std::size_t received = 0;
    const CallOutcome outcome = receive_bytes(socket_, buffer, deadline, received);
    // A server that closes without reading what it was sent resets the connection; what
    // it said before still counts.
    if (closed(outcome) || (!outcome.failed() && received == 0)) return closed_by_server();
    if (outcome.failed()) return outcome;
    for (std::size_t index = 0; index < received; ++index) {
      bool subnegotiation_done = false;
      const CallOutcome handled = handle_byte(buffer[index], subnegotiation_done);
      if (closed(handled)) return closed_by_server();
      if (handled.failed()) return handled;
      if (subnegotiation_done && done(reader_.subnegotiation())) {
        // Bytes behind the answer wait in this buffer no longer: a server answers each
        // request once and has nothing more to say that the run needs.
        return {};
      }
    }
    // A server that never stops talking must not keep the run either.
    if (Clock::now() >= deadline) return failure(timed_out_code);
  }
}

CallOutcome NetworkSerialPlatform::open(std::string_view port_text, PortHandle& handle) {
  handle = no_port;
  reason_.clear();
  server_text_.clear();
  reader_ = {};
  negotiation_ = {};
  line_ = {};
  line_known_ = false;
  line_unanswered_ = false;
  bytes_written_ = 0;
  NetworkAddress address;
  std::string mistake;
  if (!parse_network_address(port_text, address, mistake)) return {address_mistake_code, error_number::bad_file_name};
  protocol_ = address.protocol;
  session_end_ = Clock::now() + session_time;
  CallOutcome outcome = connect_socket(address, session_end_, socket_);
  if (outcome.failed()) return outcome;
  if (protocol_ == NetworkProtocol::rfc2217) {
    // The offer, then a question the server must answer: one that only sends a text and
    // closes is refusing the client. The answer gives the remote line's rate.
    const rfc2217::Request query = rfc2217::baud_rate_query();
    std::string greeting(rfc2217::client_offer);
    greeting += query.wire();
    std::size_t sent = 0;
    outcome = send_bytes(socket_, greeting, session_end_, sent);
    if (!outcome.failed()) {
      outcome = read_until(session_end_, [this](std::span<const std::uint8_t> answer) {
        line_.baud_rate = rfc2217::answered_rate(answer);
        return line_.baud_rate != 0;
      });
    }
  } else {
    const Deadline grace = deadline_within(static_cast<std::uint32_t>(refusal_grace.count()));
    outcome = read_until(grace, [](std::span<const std::uint8_t>) { return false; });
    // Silence is the normal answer; only a text with a close is a refusal.
    if (outcome.system_code == timed_out_code || (!outcome.failed() && server_text_.empty())) outcome = {};
    server_text_.clear();
  }
  if (outcome.failed()) {
    close_socket(socket_, true);
    socket_ = no_socket;
    return outcome;
  }
  handle = static_cast<PortHandle>(socket_);
  return {};
}

CallOutcome NetworkSerialPlatform::ask(const rfc2217::Request* requests, std::size_t count, bool* taken,
                                       Deadline deadline) {
  // The time is spent: a request now would only be answered after the run has failed.
  if (Clock::now() >= deadline) return failure(timed_out_code);
  std::string wire;
  for (std::size_t index = 0; index < count; ++index) wire += requests[index].wire();
  std::size_t sent = 0;
  CallOutcome outcome = send_bytes(socket_, wire, deadline, sent);
  if (outcome.failed()) return outcome;
  std::size_t answered = 0;
  return read_until(deadline, [&](std::span<const std::uint8_t> answer) {
    for (std::size_t index = 0; index < count; ++index) {
      const rfc2217::Answer verdict = rfc2217::answer_to(requests[index], answer);
      if (verdict == rfc2217::Answer::other) continue;
      taken[index] = verdict == rfc2217::Answer::taken;
      if (requests[index].command == rfc2217::Command::set_baud_rate) line_.baud_rate = rfc2217::answered_rate(answer);
      ++answered;
      break;
    }
    return answered == count;
  });
}

// Raw TCP cannot set the line: the server's own settings hold, and the values asked for
// stand as taken. RFC 2217 asks for each value that differs from what the server last
// confirmed and checks every answer.
CallOutcome NetworkSerialPlatform::write_line_settings(PortHandle, const LineSettings& settings) {
  if (protocol_ == NetworkProtocol::raw_tcp) {
    line_ = settings;
    return {};
  }
  if (settings.parity_checking) return refused_value();  // the protocol has no such setting
  rfc2217::Request requests[4];
  std::size_t count = 0;
  if (settings.baud_rate != line_.baud_rate) requests[count++] = rfc2217::baud_rate_request(settings.baud_rate);
  if (settings.data_bits != line_.data_bits || !line_known_) requests[count++] = rfc2217::data_size_request(settings.data_bits);
  if (settings.parity != line_.parity || !line_known_) requests[count++] = rfc2217::parity_request(settings.parity);
  if (settings.stop_bits != line_.stop_bits || !line_known_) requests[count++] = rfc2217::stop_size_request(settings.stop_bits);
  for (std::size_t index = 0; index < count; ++index) {
    if (requests[index].wire().empty()) return refused_value();
  }
  if (count == 0) return {};
  bool taken[4] = {};
  const CallOutcome outcome = ask(requests, count, taken, session_end_);
  if (outcome.failed()) {
    line_unanswered_ = true;
    return outcome;
  }
  bool all_taken = true;
  for (std::size_t index = 0; index < count; ++index) {
    if (!taken[index]) {
      all_taken = false;
      continue;
    }
    switch (requests[index].command) {
      case rfc2217::Command::set_data_size: line_.data_bits = settings.data_bits; break;
      case rfc2217::Command::set_parity: line_.parity = settings.parity; break;
      case rfc2217::Command::set_stop_size: line_.stop_bits = settings.stop_bits; break;
      default: break;
    }
  }
  line_known_ = true;
  return all_taken ? CallOutcome{} : refused_value();
}

CallOutcome NetworkSerialPlatform::write(PortHandle, std::string_view bytes, std::size_t& written,
                                         std::uint32_t milliseconds) {
  written = 0;
  const Deadline deadline = deadline_within(milliseconds);
  // Once the time is spent nothing more goes out: the run will say the commands were not
  // taken, and a server only slow to answer would still pass them on to the line.
  if (Clock::now() >= deadline) return failure(timed_out_code);
  std::size_t sent = 0;
  if (protocol_ == NetworkProtocol::rfc2217 && bytes.find('\xFF') != std::string_view::npos) {
    // A 255 in the data is doubled, or the server would take it for a command.
    std::string escaped;
    for (const char byte : bytes) {
      escaped += byte;
      if (byte == '\xFF') escaped += byte;
    }
    const CallOutcome outcome = send_bytes(socket_, escaped, deadline, sent);
    if (!outcome.failed()) written = bytes.size();
    bytes_written_ += written;
    return outcome;
  }
  const CallOutcome outcome = send_bytes(socket_, bytes, deadline, sent);
  written = sent;
  bytes_written_ += written;
  return outcome;
}

// Sent means the server's TCP has acknowledged every byte: the server holds them. ser2net
// reports no more (its serial device gives no transmitter-empty line state), so what the
// server then does with them cannot be seen. It closes its serial port when its client
// goes, throwing away what the port still holds: the connection is kept for the bytes'
// time on the line after the acknowledgement (and a little more for the server to pass
// them on). A server that closed the connection before the end has not taken the commands,
// whatever was acknowledged.
CallOutcome NetworkSerialPlatform::wait_until_sent(PortHandle, std::uint32_t milliseconds) {
  const Deadline deadline = deadline_within(milliseconds);
  // A start bit, 8 data bits and a stop bit each, at the remote line's rate; a raw TCP
  // port's rate is the server's own, and the settings' rate is the best guess of it.
  const std::uint64_t rate = line_.baud_rate;
  const std::uint64_t on_the_line_ms = rate == 0 ? 0 : (bytes_written_ * 10 * 1000 + rate - 1) / rate;
  constexpr std::uint32_t passing_on_ms = 20;
  Deadline keep_until{};
  bool acknowledged = false;
  for (;;) {
    const Deadline now = Clock::now();
    if (!acknowledged) {
      std::size_t unacknowledged = 0;
      bool known = false;
      const CallOutcome asked = unacknowledged_bytes(socket_, unacknowledged, known);
      if (asked.failed()) return asked;
      if (unacknowledged == 0) {
        acknowledged = true;
        keep_until = std::min(now + std::chrono::milliseconds(on_the_line_ms + passing_on_ms), deadline);
      } else if (now >= deadline) {
        return failure(timed_out_code);
      }
    }
    if (acknowledged && now >= keep_until) return {};
    // Whatever the server sends meanwhile is read, and a close is seen; this is also the
    // pause before the next look.
    const Deadline look_until = std::min(now + std::chrono::milliseconds(5), acknowledged ? keep_until : deadline);
    std::uint8_t buffer[256];
    std::size_t received = 0;
    const CallOutcome looked = receive_bytes(socket_, buffer, look_until, received);
    if (closed(looked) || (!looked.failed() && received == 0)) return closed_by_server();
    if (looked.failed() && looked.system_code != timed_out_code) return looked;
    for (std::size_t index = 0; index < received; ++index) {
      bool ignored = false;
      handle_byte(buffer[index], ignored);
    }
  }
}

CallOutcome NetworkSerialPlatform::set_modem_lines(PortHandle, ModemLines lines, std::string& reason) {
  for (const auto& [level, line] : {std::pair{lines.dtr, rfc2217::ModemLine::dtr}, std::pair{lines.rts, rfc2217::ModemLine::rts}}) {
    if (level == LineLevel::as_found) continue;
    const CallOutcome outcome = set_modem_line(line, level == LineLevel::on, reason);
    if (outcome.failed()) return outcome;
  }
  return {};
}

CallOutcome NetworkSerialPlatform::set_modem_line(rfc2217::ModemLine line, bool on, std::string& reason) {
  reason.clear();
  if (socket_ == no_socket) return refused_value();
  if (protocol_ == NetworkProtocol::raw_tcp) {
    reason = no_modem_lines_reason;
    return refused_value();
  }
  const rfc2217::Request request = rfc2217::control_request(line, on);
  bool taken = false;
  const CallOutcome outcome = ask(&request, 1, &taken, session_end_);
  if (outcome.failed()) return outcome;
  return taken ? CallOutcome{} : refused_value();
}

// After a failure nothing the run has not sent may go out later: the server is asked to
// throw away what it holds for the line where that request can still reach it (nothing
// is queued before it), and the connection is reset, which drops what is still unsent.
CallOutcome NetworkSerialPlatform::discard_output(PortHandle) {
  if (socket_ == no_socket) return {};
  std::size_t unacknowledged = 0;
  bool known = false;
  if (protocol_ == NetworkProtocol::rfc2217 && !unacknowledged_bytes(socket_, unacknowledged, known).failed() &&
      known && unacknowledged == 0) {
    std::size_t sent = 0;
    send_bytes(socket_, rfc2217::purge_transmit_request().wire(), Clock::now(), sent);
  }
  close_socket(socket_, true);
  socket_ = no_socket;
  return {};
}

}  // namespace

SerialPlatform& network_serial_platform() {
  static NetworkSerialPlatform platform;
  return platform;
}

}  // namespace vornset
