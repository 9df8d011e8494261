#include "frame/console_text.h"

#include <algorithm>
#include <cstdint>

namespace vornset {
namespace {

constexpr char32_t kReplacement = U'\uFFFD';

// Length of the well-formed UTF-8 sequence at the start of `bytes` and its code
// point, or 0 when there is none. The second byte's range excludes overlong forms,
// surrogates and code points above U+10FFFF.
std::size_t decode_one(std::string_view bytes, char32_t& code_point) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  std::uint8_t second_low = 0x80;
  std::uint8_t second_high = 0xBF;
  if (lead < 0x80) {
    code_point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code_point = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code_point = lead & 0x0Fu;
    if (lead == 0xE0) second_low = 0xA0;
    if (lead == 0xED) second_high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code_point = lead & 0x07u;
    if (lead == 0xF0) second_low = 0x90;
    if (lead == 0xF4) second_high = 0x8F;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    const std::uint8_t low = i == 1 ? second_low : 0x80;
    const std::uint8_t high = i == 1 ? second_high : 0xBF;
    if (byte(i) < low || byte(i) > high) return 0;
    code_point = (code_point << 6) | (byte(i) & 0x3Fu);
  }
  return length;
}

}  // namespace

std::size_t widen_text(std::string_view text, std::span<CellChar> out) {
  std::size_t count = 0;
  while (!text.empty() && count < out.size()) {
    // ASCII, nearly all the program prints, is its own code point: a run of it is
    // copied without decoding.
    const std::size_t room = std::min(text.size(), out.size() - count);
    std::size_t ascii = 0;
    while (ascii < room && static_cast<std::uint8_t>(text[ascii]) < 0x80) {
      out[count + ascii] = static_cast<std::uint8_t>(text[ascii]);
      ++ascii;
    }
    count += ascii;
    text.remove_prefix(ascii);
    if (text.empty() || count == out.size()) break;
    char32_t code_point = 0;
    std::size_t length = decode_one(text, code_point);
    if (length == 0) {
      code_point = kReplacement;  // one per byte that starts no well-formed sequence
      length = 1;
    }
    out[count++] = code_point;
    text.remove_prefix(length);
  }
  return count;
}

}  // namespace vornset
