#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "network/telnet_reader.h"
#include "serial/serial_platform.h"

namespace vornset::rfc2217 {

// The telnet option through which a client sets a remote serial port (RFC 2217).
inline constexpr std::uint8_t com_port_option = 44;

// Client commands; the server answers each with the same command plus 100.
enum class Command : std::uint8_t {
  set_baud_rate = 1,
  set_data_size = 2,
  set_parity = 3,
  set_stop_size = 4,
  set_control = 5,
  notify_line_state = 6,
  set_line_state_mask = 10,
  purge_data = 12,
};
inline constexpr std::uint8_t server_offset = 100;

enum class ModemLine : std::uint8_t { dtr, rts };

// One request as it goes on the wire: IAC SB 44, the command, its value with any 255
// doubled, IAC SE. The longest (a rate of four 255 bytes) takes 14 bytes.
struct Request {
  Command command = Command::set_baud_rate;
  std::uint32_t value = 0;  // what the answer must repeat
  std::uint8_t size = 0;
  char bytes[16] = {};
  std::string_view wire() const { return {bytes, size}; }
};

// The requests that set the line. A value the protocol has no code for (parity checking,
// one and a half stop bits are fine; 9 data bits are not) gives an empty request.
Request baud_rate_request(std::uint32_t rate);
Request data_size_request(std::uint8_t bits);
Request parity_request(Parity parity);
Request stop_size_request(StopBits stop_bits);
// DTR on/off (8/9) and RTS on/off (11/12).
Request control_request(ModemLine line, bool on);
// Asks the rate without setting one (the value 0); answered_rate reads the answer.
Request baud_rate_query();
// Throws away what the server still holds for the remote line's transmitter.
Request purge_transmit_request();

enum class Answer : std::uint8_t {
  other,    // not an answer to this request
  taken,    // the server repeats the value asked for
  refused,  // the server answers the request with another value
};
// `subnegotiation` as TelnetReader gives it for option 44 (the command and its value).
Answer answer_to(const Request& request, std::span<const std::uint8_t> subnegotiation);
// The rate a SET-BAUDRATE answer reports; 0 when `subnegotiation` is none.
std::uint32_t answered_rate(std::span<const std::uint8_t> subnegotiation);

// What the client says first: it will set the port.
inline constexpr std::string_view client_offer{"\xFF\xFB\x2C", 3};

// The client's side of the telnet option negotiation: binary transmission and no go-ahead
// both ways and the com port option are agreed to, every other option refused. Each
// request of the peer is answered once at most, so two peers can never answer each
// other forever. A server asks for the com port option its own way (a DO, or a WILL) and
// gets the answer it expects; a client that offered the option first takes the server's
// DO as the answer to its offer.
class Negotiation {
 public:
  // The reply to a WILL or DO of the peer; empty for anything else or when answered already.
  std::string_view reply(TelnetEvent event, std::uint8_t option);
  // The client's offer of the com port option, once; empty when it went out already.
  std::string_view offer();

 private:
  bool answered_[2][256] = {};
  bool offered_ = false;
  char reply_[3] = {};
};

}  // namespace vornset::rfc2217
