#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vornset {

// The longest UTF-8 form of one code point.
inline constexpr std::size_t kMaxGlyphBytes = 4;

// Writes the UTF-8 form in which `character` shows on a terminal as one visible
// symbol and returns its length. Control characters become pictures of themselves
// (C0 as U+2400 + c, DEL as U+2421) and C1 controls, surrogates and values past
// U+10FFFF become U+FFFD, so no text can move the cursor, change colours or ring
// the bell, and every cell takes exactly one column.
std::size_t encode_glyph(char32_t character, char (&out)[kMaxGlyphBytes]);

// `text`, in the platform's 8-bit encoding, as UTF-8 made of such glyphs only: what a
// terminal shows of it, and safe to put on one.
std::string shown_as_glyphs(std::string_view text);

}  // namespace vornset
