#include "serial/command_decoder.h"

#include <algorithm>

#include "serial/device_commands.h"

namespace vornset {

namespace {

constexpr std::size_t frequency_digit_count = 11;

bool all_digits(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

std::string escape_bytes(std::string_view bytes) {
  static constexpr char hex[] = "0123456789ABCDEF";
  std::string escaped;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      escaped += c;
    } else {
      escaped += "\\x";
      escaped += hex[byte >> 4];
      escaped += hex[byte & 0xF];
    }
  }
  return escaped;
}

std::string describe_command(std::string_view command) {
  using namespace device_command;
  if (command == filter_out) return "low-pass filter out";
  if (command == filter_in) return "low-pass filter in";
  if (command == power_output) return "power output";
  if (command == zero_dbm_output) return "0 dBm output";
  const std::size_t frequency_size = set_frequency.size() + frequency_digit_count + 1;
  if (command.size() == frequency_size && command.starts_with(set_frequency) &&
      command.back() == ';') {
    std::string_view digits = command.substr(set_frequency.size(), frequency_digit_count);
    if (all_digits(digits)) {
      const std::size_t first_significant = std::min(digits.find_first_not_of('0'), digits.size() - 1);
      digits.remove_prefix(first_significant);
      std::string text = "frequency ";
      text += digits;
      text += " Hz";
      return text;
    }
  }
  return "malformed: " + escape_bytes(command);
}

}  // namespace vornset
