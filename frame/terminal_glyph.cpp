#include "frame/terminal_glyph.h"

#include <vector>

#include "frame/console_text.h"

namespace vornset {
namespace {

char32_t visible_form(char32_t character) {
  if (character < 0x20) return U'\u2400' + character;  // SYMBOL FOR NULL onwards
  if (character == 0x7F) return U'\u2421';            // SYMBOL FOR DELETE
  // C1 controls include CSI (U+009B), which some terminals obey like ESC [.
  if (character >= 0x80 && character <= 0x9F) return U'\uFFFD';
  if ((character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF) return U'\uFFFD';
  return character;
}

char continuation(char32_t bits) { return static_cast<char>(0x80u | (bits & 0x3Fu)); }

}  // namespace

std::size_t encode_glyph(char32_t character, char (&out)[kMaxGlyphBytes]) {
  const char32_t c = visible_form(character);
  if (c < 0x80) {
    out[0] = static_cast<char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<char>(0xC0u | (c >> 6));
    out[1] = continuation(c);
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<char>(0xE0u | (c >> 12));
    out[1] = continuation(c >> 6);
    out[2] = continuation(c);
    return 3;
  }
  out[0] = static_cast<char>(0xF0u | (c >> 18));
  out[1] = continuation(c >> 12);
  out[2] = continuation(c >> 6);
  out[3] = continuation(c);
  return 4;
}

std::string shown_as_glyphs(std::string_view text) {
  std::vector<CellChar> characters(text.size());
  characters.resize(widen_text(text, characters));
  std::string shown;
  shown.reserve(text.size());
  for (const CellChar character : characters) {
    char glyph[kMaxGlyphBytes];
    shown.append(glyph, encode_glyph(character, glyph));
  }
  return shown;
}

}  // namespace vornset
