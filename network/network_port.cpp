#include "network/network_port.h"

#include <cerrno>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "network/network_address.h"
#include "network/remote_line.h"
#include "network/rfc2217.h"
#include "network/socket_calls.h"
#include "network/telnet_reader.h"

namespace vornset {

namespace {

using Clock = std::chrono::steady_clock;

// The whole session (lookup, connection, negotiation, sends, the wait for "sent") ends
// within the send time limit, the bytes' time on the line and a second, with room left
// for the process to end, as a local port's.
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

// Real servers speak first: ser2net's RFC 2217 accepter asks DO COM-PORT-OPTION among its
// telnet options as a client connects, python3-serial's server says WILL. A server that
// says nothing this long gets the client's offer.
constexpr auto listening_time = std::chrono::milliseconds(200);

// After the commands have been taken, the server passes them on to its line: a little
// more than their time on the line.
constexpr std::uint64_t passing_on_ms = 20;

// How far the server has come with the com port option.
enum class Agreement : std::uint8_t { unknown, agreed, refused };

class NetworkSerialPlatform final : public SerialPlatform {
 public:
  CallOutcome open(std::string_view port_text, PortHandle& handle) override;
  std::string device_name(std::string_view port_text) const override { return std::string(port_text); }
  std::string open_refusal_reason(std::string_view, std::uint32_t system_code) const override;
  CallOutcome read_line_settings(PortHandle, LineSettings& settings) override {
    line_.report(settings);
    // A request the server never answered may still take effect: the line is not known.
    return line_unanswered_ ? failure(timed_out_code) : CallOutcome{};
  }
  CallOutcome write_line_settings(PortHandle handle, const LineSettings& settings) override;
  std::string line_refusal_reason() const override { return line_.refused(); }
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

 private:
  // Reads what the server sent until `done` holds after a chunk, or the deadline. `done`
  // sees each byte's event; telnet requests are answered on the way, and data bytes are
  // kept, bounded, for a refusal's text.
  template <typename Done>
  CallOutcome read_until(Deadline deadline, Done done);
  TelnetEvent handle_byte(std::uint8_t byte);
  void send_reply(std::string_view reply);
  // A connection the server closed, with what it said before.
  CallOutcome closed_by_server();
  // Listens, asks where the server has not, and fails unless it takes RFC 2217.
  CallOutcome agree_on_the_option();
  CallOutcome ask(const rfc2217::Request* requests, std::size_t count, bool* taken);
  CallOutcome set_modem_line(rfc2217::ModemLine line, bool on, std::string& reason);
  // The session's one deadline: the send time limit, the time the bytes sent so far take
  // on the line, and a second less what the process needs to end.
  Deadline session_end() const {
    return session_start_ + session_time +
           std::chrono::milliseconds(line_time_ms(bytes_written_, line_.rate(), line_.format()));
  }
  Deadline deadline_within(std::uint32_t milliseconds) const;
  // Keeps the connection until `until`, reading what comes: the server passes the bytes
  // on meanwhile, and ser2net drops what its port still holds once its client goes.
  CallOutcome stay_connected(Deadline until, bool taken_and_answered);

  SocketHandle socket_ = no_socket;
  NetworkProtocol protocol_ = NetworkProtocol::raw_tcp;
  Deadline session_start_{};
  TelnetReader reader_;
  rfc2217::Negotiation negotiation_;
  Agreement agreement_ = Agreement::unknown;
  RemoteLine line_;
  bool line_unanswered_ = false;  // a line setting went unanswered
  std::uint64_t bytes_written_ = 0;  // the run's data bytes handed to the connection
  bool all_taken_ = false;  // the server has read past the last command and answered
  std::string server_text_;
  std::string reason_;
};

Deadline NetworkSerialPlatform::deadline_within(std::uint32_t milliseconds) const {
  const Deadline own = Clock::now() + std::chrono::milliseconds(milliseconds);
  const Deadline end = session_end();
  return own < end ? own : end;
}

std::string NetworkSerialPlatform::open_refusal_reason(std::string_view port_text, std::uint32_t system_code) const {
  std::string reason = connect_refusal_reason(port_text, system_code);
  return reason.empty() ? reason_ : reason;
}

void NetworkSerialPlatform::send_reply(std::string_view reply) {
  if (reply.empty()) return;
  // A reply that cannot go out is no failure of its own: a server that has gone shows at
  // the next read, after the rest of what it said has been read.
  std::size_t sent = 0;
  send_bytes(socket_, reply, session_end(), sent);
}

TelnetEvent NetworkSerialPlatform::handle_byte(std::uint8_t byte) {
  const TelnetEvent event =
      protocol_ == NetworkProtocol::rfc2217 ? reader_.feed(byte) : TelnetEvent::data;
  if (event == TelnetEvent::data) {
    if (server_text_.size() < max_server_text) server_text_ += static_cast<char>(byte);
    return event;
  }
  if (event == TelnetEvent::none || event == TelnetEvent::subnegotiation) return event;
  if (reader_.option() == rfc2217::com_port_option) {
    const bool yes = event == TelnetEvent::will || event == TelnetEvent::do_option;
    // Once agreed, a later refusal changes nothing the run has done; the answers tell.
    if (agreement_ == Agreement::unknown || yes) agreement_ = yes ? Agreement::agreed : Agreement::refused;
  }
  send_reply(negotiation_.reply(event, reader_.option()));
  return event;
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
    bool finished = false;
    // The whole piece is read, so that every request in it is answered.
    for (std::size_t index = 0; index < received; ++index) finished = done(handle_byte(buffer[index])) || finished;
    if (finished) return {};
    // A server that never stops talking must not keep the run either.
    if (Clock::now() >= deadline) return failure(timed_out_code);
  }
}

CallOutcome NetworkSerialPlatform::agree_on_the_option() {
  // Listen first: a server that raises the option is answered as it expects and set at
  // once; one that speaks telnet without it is asked once; only a silent one gets the
  // offer. Nothing else goes out before the server has agreed, so a raw port written
  // rfc2217:// gets no more than the 3 bytes of the offer on its line.
  bool spoke_telnet = false;
  CallOutcome outcome = read_until(deadline_within(static_cast<std::uint32_t>(listening_time.count())),
                                   [&](TelnetEvent event) {
                                     spoke_telnet = spoke_telnet || (event != TelnetEvent::data && event != TelnetEvent::none);
                                     return agreement_ != Agreement::unknown || spoke_telnet;
                                   });
  if (outcome.failed() && outcome.system_code != timed_out_code) return outcome;
  if (agreement_ == Agreement::unknown) {
    std::size_t sent = 0;
    outcome = send_bytes(socket_, negotiation_.offer(), session_end(), sent);
    if (closed(outcome)) return closed_by_server();
    if (outcome.failed()) return outcome;
    outcome = read_until(session_end(), [this](TelnetEvent) { return agreement_ != Agreement::unknown; });
    if (outcome.failed()) {
      if (outcome.system_code == timed_out_code && !spoke_telnet) {
        // Silence to the offer, too: most likely a raw port, whose line took the 3 bytes.
        reason_ = "timed out; a raw TCP port is written COMtcp://...";
      }
      return outcome;
    }
  }
  if (agreement_ == Agreement::refused) {
    reason_ = "the server does not take RFC 2217; a raw TCP port is written COMtcp://...";
    return failure(refused_value_code);
  }
  // Then a question the server must answer: one that agrees, tells a text and closes is
  // refusing the client (ser2net's "Port already in use"). The answer gives the rate.
  const rfc2217::Request query = rfc2217::baud_rate_query();
  std::size_t sent = 0;
  outcome = send_bytes(socket_, query.wire(), session_end(), sent);
  if (closed(outcome)) return closed_by_server();
  if (outcome.failed()) return outcome;
  return read_until(session_end(), [this](TelnetEvent event) {
    if (event != TelnetEvent::subnegotiation || reader_.option() != rfc2217::com_port_option) return false;
    line_.rate_reported(rfc2217::answered_rate(reader_.subnegotiation()));
    return line_.rate() != 0;
  });
}

CallOutcome NetworkSerialPlatform::open(std::string_view port_text, PortHandle& handle) {
  handle = no_port;
  reason_.clear();
  server_text_.clear();
  reader_ = {};
  negotiation_ = {};
  agreement_ = Agreement::unknown;
  line_ = {};
  line_unanswered_ = false;
  bytes_written_ = 0;
  all_taken_ = false;
  NetworkAddress address;
  std::string mistake;
  if (!parse_network_address(port_text, address, mistake)) return {address_mistake_code, error_number::bad_file_name};
  protocol_ = address.protocol;
  session_start_ = Clock::now();
  CallOutcome outcome = connect_socket(address, session_end(), socket_);
  if (outcome.failed()) return outcome;
  if (protocol_ == NetworkProtocol::rfc2217) {
    outcome = agree_on_the_option();
  } else {
    const Deadline grace = deadline_within(static_cast<std::uint32_t>(refusal_grace.count()));
    outcome = read_until(grace, [](TelnetEvent) { return false; });
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

CallOutcome NetworkSerialPlatform::ask(const rfc2217::Request* requests, std::size_t count, bool* taken) {
  const Deadline deadline = session_end();
  // The time is spent: a request now would only be answered after the run has failed.
  if (Clock::now() >= deadline) return failure(timed_out_code);
  std::string wire;
  for (std::size_t index = 0; index < count; ++index) wire += requests[index].wire();
  std::size_t sent = 0;
  CallOutcome outcome = send_bytes(socket_, wire, deadline, sent);
  if (outcome.failed()) return outcome;
  bool answered[RemoteLine::max_requests] = {};
  std::size_t answers = 0;
  return read_until(deadline, [&](TelnetEvent event) {
    if (event != TelnetEvent::subnegotiation || reader_.option() != rfc2217::com_port_option) return answers == count;
    for (std::size_t index = 0; index < count; ++index) {
      if (answered[index] || rfc2217::answer_to(requests[index], reader_.subnegotiation()) == rfc2217::Answer::other) {
        continue;
      }
      answered[index] = true;
      taken[index] = line_.take(requests[index], reader_.subnegotiation());
      ++answers;
      break;
    }
    return answers == count;
  });
}

// Raw TCP cannot set the line: the server's own settings hold, and the values asked for
// stand as the best guess of them. RFC 2217 asks for each value not known to hold and
// checks every answer: a value answered with another one is refused and named.
CallOutcome NetworkSerialPlatform::write_line_settings(PortHandle, const LineSettings& settings) {
  if (protocol_ == NetworkProtocol::raw_tcp) {
    line_.assume(settings);
    return {};
  }
  line_.forget_refusal();
  rfc2217::Request requests[RemoteLine::max_requests];
  std::size_t count = 0;
  if (!line_.requests_for(settings, requests, count)) return refused_value();
  if (count == 0) return {};
  bool taken[RemoteLine::max_requests] = {};
  const CallOutcome outcome = ask(requests, count, taken);
  if (outcome.failed()) {
    line_unanswered_ = true;
    return outcome;
  }
  for (std::size_t index = 0; index < count; ++index) {
    if (taken[index]) continue;
    // A refused rate is told as the rate a local driver refuses is; a setting named by
    // its own words is told as that.
    if (requests[index].command == rfc2217::Command::set_baud_rate) line_.forget_refusal();
    return refused_value();
  }
  return {};
}

CallOutcome NetworkSerialPlatform::write(PortHandle, std::string_view bytes, std::size_t& written,
                                         std::uint32_t milliseconds) {
  written = 0;
  // A line the server left other than asked, or did not answer, gets no command.
  if (line_unanswered_ || !line_.as_asked()) return refused_value();
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

CallOutcome NetworkSerialPlatform::stay_connected(Deadline until, bool taken_and_answered) {
  for (;;) {
    if (Clock::now() >= until) return {};
    // Whatever the server sends meanwhile is read, and a close is seen.
    std::uint8_t buffer[256];
    std::size_t received = 0;
    const CallOutcome looked = receive_bytes(socket_, buffer, until, received);
    if (!looked.failed() && received == 0 && taken_and_answered) {
      // A server that half-closes once it has answered still passes the bytes on: the
      // time on the line is kept all the same.
      std::this_thread::sleep_until(until);
      return {};
    }
    if (closed(looked) || (!looked.failed() && received == 0)) return closed_by_server();
    if (looked.failed()) return looked.system_code == timed_out_code ? CallOutcome{} : looked;
    for (std::size_t index = 0; index < received; ++index) handle_byte(buffer[index]);
  }
}

// Sent means the server has taken every command, and then the bytes' time on the line at
// the remote line's rate and format has passed: ser2net closes its serial port when its
// client goes and throws away what the port still holds, and it reports nothing about its
// transmitter (its serial devices give no transmitter-empty line state).
// Over RFC 2217 a question after the last command proves the commands taken: the server
// reads in order, so its answer to the rate query comes after it has read past them.
// Raw TCP has no answer: the server's TCP acknowledging every byte is all there is, and
// a busy server's kernel takes them into its backlog all the same.
CallOutcome NetworkSerialPlatform::wait_until_sent(PortHandle, std::uint32_t milliseconds) {
  const Deadline deadline = deadline_within(milliseconds);
  if (protocol_ == NetworkProtocol::rfc2217) {
    const rfc2217::Request query = rfc2217::baud_rate_query();
    std::size_t sent = 0;
    CallOutcome outcome = send_bytes(socket_, query.wire(), deadline, sent);
    if (outcome.failed()) return outcome;
    outcome = read_until(deadline, [this](TelnetEvent event) {
      return event == TelnetEvent::subnegotiation && reader_.option() == rfc2217::com_port_option &&
             rfc2217::answered_rate(reader_.subnegotiation()) != 0;
    });
    if (outcome.failed()) return outcome;
    all_taken_ = true;
  } else {
    for (;;) {
      std::size_t unacknowledged = 0;
      bool known = false;
      const CallOutcome asked = unacknowledged_bytes(socket_, unacknowledged, known);
      if (asked.failed()) return asked;
      if (unacknowledged == 0) break;
      if (Clock::now() >= deadline) return failure(timed_out_code);
      // The pause before the next look; a close is seen meanwhile.
      const CallOutcome looked = stay_connected(std::min(Clock::now() + std::chrono::milliseconds(5), deadline), false);
      if (looked.failed()) return looked;
    }
  }
  const std::uint64_t on_the_line_ms = line_time_ms(bytes_written_, line_.rate(), line_.format());
  const Deadline keep_until = std::min(Clock::now() + std::chrono::milliseconds(on_the_line_ms + passing_on_ms), deadline);
  return stay_connected(keep_until, all_taken_);
}

CallOutcome NetworkSerialPlatform::set_modem_lines(PortHandle, ModemLines lines, std::string& reason) {
  reason.clear();
  for (const auto& [level, line] : {std::pair{lines.dtr, rfc2217::ModemLine::dtr}, std::pair{lines.rts, rfc2217::ModemLine::rts}}) {
    if (level == LineLevel::as_found) continue;
    const CallOutcome outcome = set_modem_line(line, level == LineLevel::on, reason);
    if (outcome.failed()) return outcome;
  }
  return {};
}

CallOutcome NetworkSerialPlatform::set_modem_line(rfc2217::ModemLine line, bool on, std::string& reason) {
  if (socket_ == no_socket) return refused_value();
  if (protocol_ == NetworkProtocol::raw_tcp) {
    reason = no_modem_lines_reason;
    return refused_value();
  }
  if (line_.holds(line, on)) return {};  // answered so already
  const rfc2217::Request request = rfc2217::control_request(line, on);
  bool taken = false;
  line_.forget_refusal();
  const CallOutcome outcome = ask(&request, 1, &taken);
  if (outcome.system_code == timed_out_code) {
    // ser2net in front of a device that cannot set the lines never answers.
    reason = "the server did not answer the DTR/RTS request";
    return outcome;
  }
  if (outcome.failed()) return outcome;
  if (taken) return {};
  reason = line_.refused();
  return refused_value();
}

// After a failure nothing the run has not sent may go out later. Where something of the
// run's may still be queued at the server, it is asked to throw away what it holds for
// the line, where that request can still reach it (nothing is queued before it in the
// connection); and the connection is reset, which drops what is still unsent.
CallOutcome NetworkSerialPlatform::discard_output(PortHandle) {
  if (socket_ == no_socket) return {};
  std::size_t unacknowledged = 0;
  bool known = false;
  if (protocol_ == NetworkProtocol::rfc2217 && bytes_written_ != 0 &&
      !unacknowledged_bytes(socket_, unacknowledged, known).failed() && known && unacknowledged == 0) {
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
