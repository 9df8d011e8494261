#include "network/rfc2217.h"

#include "network/telnet_reader.h"

namespace vornset::rfc2217 {

namespace {

void put(Request& request, std::uint8_t byte) { request.bytes[request.size++] = static_cast<char>(byte); }

// `width` value bytes, most significant first, as RFC 2217 sends numbers.
Request request_of(Command command, std::uint32_t value, int width) {
  Request request;
  request.command = command;
  request.value = value;
  put(request, telnet::iac);
  put(request, telnet::sb);
  put(request, com_port_option);
  put(request, static_cast<std::uint8_t>(command));
  for (int shift = (width - 1) * 8; shift >= 0; shift -= 8) {
    const auto byte = static_cast<std::uint8_t>(value >> shift);
    put(request, byte);
    if (byte == telnet::iac) put(request, telnet::iac);
  }
  put(request, telnet::iac);
  put(request, telnet::se);
  return request;
}

Request single(Command command, std::uint8_t value) { return request_of(command, value, 1); }

}  // namespace

Request baud_rate_request(std::uint32_t rate) {
  // Rate 0 asks what the rate is instead of setting one.
  if (rate == 0) return {};
  return request_of(Command::set_baud_rate, rate, 4);
}

Request data_size_request(std::uint8_t bits) {
  if (bits < 5 || bits > 8) return {};
  return single(Command::set_data_size, bits);
}

Request parity_request(Parity parity) {
  switch (parity) {
    case Parity::none: return single(Command::set_parity, 1);
    case Parity::odd: return single(Command::set_parity, 2);
    case Parity::even: return single(Command::set_parity, 3);
    case Parity::mark: return single(Command::set_parity, 4);
    case Parity::space: return single(Command::set_parity, 5);
  }
  return {};
}

Request stop_size_request(StopBits stop_bits) {
  switch (stop_bits) {
    case StopBits::one: return single(Command::set_stop_size, 1);
    case StopBits::two: return single(Command::set_stop_size, 2);
    case StopBits::one_and_half: return single(Command::set_stop_size, 3);
  }
  return {};
}

Request control_request(ModemLine line, bool on) {
  const std::uint8_t code = line == ModemLine::dtr ? (on ? 8 : 9) : (on ? 11 : 12);
  return single(Command::set_control, code);
}

Request baud_rate_query() { return request_of(Command::set_baud_rate, 0, 4); }

Request purge_transmit_request() { return single(Command::purge_data, 2); }

Answer answer_to(const Request& request, std::span<const std::uint8_t> subnegotiation) {
  if (request.size == 0 || subnegotiation.empty()) return Answer::other;
  if (subnegotiation[0] != static_cast<std::uint8_t>(request.command) + server_offset) return Answer::other;
  const std::size_t width = request.command == Command::set_baud_rate ? 4 : 1;
  if (subnegotiation.size() != 1 + width) return Answer::refused;
  std::uint32_t value = 0;
  for (std::size_t index = 1; index <= width; ++index) value = (value << 8) | subnegotiation[index];
  return value == request.value ? Answer::taken : Answer::refused;
}

std::uint32_t answered_rate(std::span<const std::uint8_t> subnegotiation) {
  const auto answer = static_cast<std::uint8_t>(static_cast<std::uint8_t>(Command::set_baud_rate) + server_offset);
  if (subnegotiation.size() != 5 || subnegotiation[0] != answer) return 0;
  std::uint32_t rate = 0;
  for (std::size_t index = 1; index < 5; ++index) rate = (rate << 8) | subnegotiation[index];
  return rate;
}

std::string_view Negotiation::reply(TelnetEvent event, std::uint8_t option) {
  if (event != TelnetEvent::will && event != TelnetEvent::do_option) return {};
  const bool peer_will = event == TelnetEvent::will;
  // The server's DO answers the offer that went first.
  if (!peer_will && option == com_port_option && offered_) return {};
  bool& answered = answered_[peer_will ? 0 : 1][option];
  if (answered) return {};
  answered = true;
  constexpr std::uint8_t binary = 0;
  constexpr std::uint8_t suppress_go_ahead = 3;
  const bool agreed = option == binary || option == suppress_go_ahead || option == com_port_option;
  if (!peer_will && option == com_port_option) offered_ = true;
  std::uint8_t verb = 0;
  if (peer_will) {
    verb = agreed ? telnet::do_option : telnet::dont;
  } else {
    verb = agreed ? telnet::will : telnet::wont;
  }
  reply_[0] = static_cast<char>(telnet::iac);
  reply_[1] = static_cast<char>(verb);
  reply_[2] = static_cast<char>(option);
  return {reply_, 3};
}

std::string_view Negotiation::offer() {
  if (offered_) return {};
  offered_ = true;
  return client_offer;
}

}  // namespace vornset::rfc2217
