#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vornset {

// What one byte from a telnet peer completed.
enum class TelnetEvent : std::uint8_t {
  none,            // the byte is part of a command still being read
  data,            // a byte of the stream itself: data()
  will,            // the peer offers an option: option()
  wont,
  do_option,       // the peer asks for an option
  dont,
  subnegotiation,  // IAC SB option ... IAC SE complete: option(), subnegotiation()
};

// Reads a telnet stream a byte at a time, in whatever pieces the network delivers it. The
// peer is not trusted: the state is a few bytes whatever it sends, a subnegotiation longer
// than any this program reads is cut to its first bytes (and marked), and any byte may
// come in any state without harm.
class TelnetReader {
 public:
  // RFC 2217's longest answer is a command and a four-byte value.
  static constexpr std::size_t max_subnegotiation = 8;

  TelnetEvent feed(std::uint8_t byte);

  std::uint8_t data() const { return value_; }
  std::uint8_t option() const { return value_; }
  // The bytes between the option and IAC SE, with doubled IACs undone.
  std::span<const std::uint8_t> subnegotiation() const { return {buffer_, length_}; }
  bool subnegotiation_cut() const { return cut_; }

 private:
  enum class State : std::uint8_t { data, command, option, sub_option, sub, sub_command };
  State state_ = State::data;
  std::uint8_t verb_ = 0;
  std::uint8_t value_ = 0;
  std::uint8_t buffer_[max_subnegotiation] = {};
  std::size_t length_ = 0;
  bool cut_ = false;
};

namespace telnet {
inline constexpr std::uint8_t se = 240;
inline constexpr std::uint8_t sb = 250;
inline constexpr std::uint8_t will = 251;
inline constexpr std::uint8_t wont = 252;
inline constexpr std::uint8_t do_option = 253;
inline constexpr std::uint8_t dont = 254;
inline constexpr std::uint8_t iac = 255;
}  // namespace telnet

}  // namespace vornset
