#include "network/remote_line.h"

#include "serial/baud_rate.h"

namespace vornset {

namespace {

using rfc2217::Command;

// RFC 2217's codes, in the order of the enums.
constexpr Parity parity_of_code[] = {Parity::none, Parity::odd, Parity::even, Parity::mark, Parity::space};
constexpr const char* parity_words[] = {"no parity", "odd parity", "even parity", "mark parity", "space parity"};
constexpr StopBits stop_bits_of_code[] = {StopBits::one, StopBits::two, StopBits::one_and_half};
constexpr const char* stop_bits_words[] = {"one stop bit", "two stop bits", "one and a half stop bits"};

// The value an answer to `command` carries, most significant byte first.
std::optional<std::uint32_t> answered_value(Command command, std::span<const std::uint8_t> answer) {
  const std::size_t width = command == Command::set_baud_rate ? 4 : 1;
  if (answer.size() != 1 + width || answer[0] != static_cast<std::uint8_t>(command) + rfc2217::server_offset) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  for (std::size_t index = 1; index <= width; ++index) value = (value << 8) | answer[index];
  return value;
}

}  // namespace

bool RemoteLine::requests_for(const LineSettings& asked, rfc2217::Request (&requests)[max_requests],
                              std::size_t& count) const {
  count = 0;
  if (asked.parity_checking) return false;  // the protocol has no such setting
  if (rate_ != asked.baud_rate) requests[count++] = rfc2217::baud_rate_request(asked.baud_rate);
  if (data_bits_ != asked.data_bits) requests[count++] = rfc2217::data_size_request(asked.data_bits);
  if (parity_ != asked.parity) requests[count++] = rfc2217::parity_request(asked.parity);
  if (stop_bits_ != asked.stop_bits) requests[count++] = rfc2217::stop_size_request(asked.stop_bits);
  for (std::size_t index = 0; index < count; ++index) {
    if (requests[index].wire().empty()) return false;
  }
  return true;
}

bool RemoteLine::take(const rfc2217::Request& request, std::span<const std::uint8_t> answer) {
  const std::optional<std::uint32_t> value = answered_value(request.command, answer);
  if (!value) return false;
  bool same = *value == request.value;
  const auto bit = static_cast<std::uint8_t>(1u << static_cast<unsigned>(request.command));
  std::string words;
  switch (request.command) {
    case Command::set_baud_rate:
      // Within 2 % the server has taken the rate, as a local driver's rounding is.
      rate_ = *value;
      same = rate_taken(request.value, *value);
      break;
    case Command::set_data_size:
      data_bits_ = static_cast<std::uint8_t>(*value);
      words = std::to_string(*value) + " data bits";
      break;
    case Command::set_parity:
      if (*value >= 1 && *value <= 5) {
        parity_ = parity_of_code[*value - 1];
        words = parity_words[*value - 1];
      } else {
        parity_.reset();
        words = "parity code " + std::to_string(*value);
      }
      break;
    case Command::set_stop_size:
      if (*value >= 1 && *value <= 3) {
        stop_bits_ = stop_bits_of_code[*value - 1];
        words = stop_bits_words[*value - 1];
      } else {
        stop_bits_.reset();
        words = "stop size code " + std::to_string(*value);
      }
      break;
    case Command::set_control: {
      // DTR on/off 8/9, RTS on/off 11/12; the server answers with the line's state.
      const bool dtr = request.value == 8 || request.value == 9;
      std::optional<bool>& level = dtr ? dtr_ : rts_;
      if (same) {
        level = request.value == 8 || request.value == 11;
      } else {
        level.reset();
        words = dtr ? "DTR " : "RTS ";
        words += request.value == 8 || request.value == 11 ? "on" : "off";
      }
      break;
    }
    default: break;
  }
  not_as_asked_ = same ? static_cast<std::uint8_t>(not_as_asked_ & ~bit) : static_cast<std::uint8_t>(not_as_asked_ | bit);
  if (!same && refused_.empty()) refused_ = std::move(words);
  return same;
}

void RemoteLine::report(LineSettings& settings) const {
  settings.baud_rate = rate();
  const LineFormat line = format();
  settings.data_bits = line.data_bits;
  settings.parity = line.parity;
  settings.stop_bits = line.stop_bits;
  settings.parity_checking = false;
}

void RemoteLine::assume(const LineSettings& settings) {
  rate_ = settings.baud_rate;
  data_bits_ = settings.data_bits;
  parity_ = settings.parity;
  stop_bits_ = settings.stop_bits;
}

}  // namespace vornset
