#include "text/upper_case_utf8_posix.h"

#include <locale.h>
#include <wctype.h>

#include <cstdint>

namespace vornset {
namespace {

char upper_case_ascii(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

// The case tables of a UTF-8 locale, made on first use: the cost is only paid when
// non-ASCII text shows up. Zero when the C library has no such locale.
locale_t utf8_locale() {
  static const locale_t locale = [] {
    locale_t made = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t{});
    if (made == locale_t{}) made = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", locale_t{});
    return made;
  }();
  return locale;
}

bool is_continuation(unsigned char byte) { return (byte & 0xC0u) == 0x80u; }

// Decodes one well-formed UTF-8 character at the front of `text` (no overlong forms,
// no surrogates, nothing above U+10FFFF). Returns its length, or 0 when ill-formed.
std::size_t decode(std::string_view text, char32_t& code_point) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t smallest = 0;
  if (lead >= 0xC2u && lead <= 0xDFu) {
    length = 2; code_point = lead & 0x1Fu; smallest = 0x80;
  } else if (lead >= 0xE0u && lead <= 0xEFu) {
    length = 3; code_point = lead & 0x0Fu; smallest = 0x800;
  } else if (lead >= 0xF0u && lead <= 0xF4u) {
    length = 4; code_point = lead & 0x07u; smallest = 0x10000;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if (!is_continuation(byte(i))) return 0;
    code_point = (code_point << 6) | (byte(i) & 0x3Fu);
  }
  const bool surrogate = code_point >= 0xD800 && code_point <= 0xDFFF;
  if (code_point < smallest || surrogate || code_point > 0x10FFFF) return 0;
  return length;
}

void append_utf8(char32_t code_point, std::string& out) {
  const auto put = [&](std::uint32_t bits) { out.push_back(static_cast<char>(bits)); };
  const std::uint32_t c = code_point;
  if (c < 0x80) {
    put(c);
  } else if (c < 0x800) {
    put(0xC0u | (c >> 6)); put(0x80u | (c & 0x3Fu));
  } else if (c < 0x10000) {
    put(0xE0u | (c >> 12)); put(0x80u | ((c >> 6) & 0x3Fu)); put(0x80u | (c & 0x3Fu));
  } else {
    put(0xF0u | (c >> 18)); put(0x80u | ((c >> 12) & 0x3Fu)); put(0x80u | ((c >> 6) & 0x3Fu));
    put(0x80u | (c & 0x3Fu));
  }
}

char32_t upper_case_code_point(char32_t code_point, locale_t locale) {
  if (locale == locale_t{}) return code_point;
  const auto upper = static_cast<char32_t>(towupper_l(static_cast<wint_t>(code_point), locale));
  const bool valid = upper <= 0x10FFFF && !(upper >= 0xD800 && upper <= 0xDFFF);
  return valid ? upper : code_point;
}

}  // namespace

std::string upper_case_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  std::size_t position = 0;
  // Up to the first non-ASCII byte no locale is needed.
  for (; position < text.size() && static_cast<unsigned char>(text[position]) < 0x80u; ++position) {
    out.push_back(upper_case_ascii(text[position]));
  }
  if (position == text.size()) return out;

  const locale_t locale = utf8_locale();
  while (position < text.size()) {
    char32_t code_point = 0;
    const std::size_t length = decode(text.substr(position), code_point);
    if (length == 0) {
      out.push_back(upper_case_ascii(text[position]));
      ++position;
      continue;
    }
    append_utf8(upper_case_code_point(code_point, locale), out);
    position += length;
  }
  return out;
}

}  // namespace vornset
