#include "network/telnet_reader.h"

namespace vornset {

TelnetEvent TelnetReader::feed(std::uint8_t byte) {
  switch (state_) {
    case State::data:
      if (byte == telnet::iac) {
        state_ = State::command;
        return TelnetEvent::none;
      }
      value_ = byte;
      return TelnetEvent::data;
    case State::command:
      state_ = State::data;
      if (byte == telnet::iac) {  // a doubled IAC is a data byte of value 255
        value_ = byte;
        return TelnetEvent::data;
      }
      if (byte >= telnet::will) {
        verb_ = byte;
        state_ = State::option;
      } else if (byte == telnet::sb) {
        state_ = State::sub_option;
      }
      // Any other command (NOP, GA, a stray SE, ...) carries nothing this program uses.
      return TelnetEvent::none;
    case State::option:
      state_ = State::data;
      value_ = byte;
      switch (verb_) {
        case telnet::will: return TelnetEvent::will;
        case telnet::wont: return TelnetEvent::wont;
        case telnet::do_option: return TelnetEvent::do_option;
        default: return TelnetEvent::dont;
      }
    case State::sub_option:
      value_ = byte;
      length_ = 0;
      cut_ = false;
      state_ = State::sub;
      return TelnetEvent::none;
    case State::sub:
      if (byte == telnet::iac) {
        state_ = State::sub_command;
        return TelnetEvent::none;
      }
      break;
    case State::sub_command:
      if (byte == telnet::se) {
        state_ = State::data;
        return TelnetEvent::subnegotiation;
      }
      state_ = State::sub;
      // IAC IAC is a 255 of the subnegotiation; any other command inside one is a
      // peer's mistake and is dropped with its IAC.
      if (byte != telnet::iac) return TelnetEvent::none;
      break;
  }
  if (length_ < max_subnegotiation) {
    buffer_[length_++] = byte;
  } else {
    cut_ = true;
  }
  return TelnetEvent::none;
}

}  // namespace vornset
