#include "frame/terminal_glyph.h"

#include <gtest/gtest.h>

#include <string>

namespace vornset {
namespace {

std::string glyph(char32_t character) {
  char bytes[kMaxGlyphBytes];
  return std::string(bytes, encode_glyph(character, bytes));
}

TEST(TerminalGlyph, ControlsShowAsPicturesAndTheRestAsTheirUtf8) {
  const struct {
    char32_t character;
    std::string_view shown;
  } cases[] = {
      {0x00, "\u2400"},   {0x07, "\u2407"},    {0x0A, "\u240a"},     {0x0D, "\u240d"},
      {0x1B, "\u241b"},   {0x1F, "\u241f"},    {0x7F, "\u2421"},     {0x80, "\ufffd"},
      {0x9B, "\ufffd"},   {0x9F, "\ufffd"},    {0xD800, "\ufffd"},   {0xDFFF, "\ufffd"},
      {0x110000, "\ufffd"}, {U' ', " "},        {U'~', "~"},          {0xA0, "\u00a0"},
      {0x7FF, "\u07ff"},  {0x800, "\u0800"},   {0xD7FF, "\ud7ff"},   {0xE000, "\ue000"},
      {0xFFFD, "\ufffd"}, {0x10000, "\U00010000"}, {0x10FFFF, "\U0010ffff"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(glyph(c.character), c.shown) << std::hex << static_cast<unsigned>(c.character);
  }
}

TEST(TerminalGlyph, NoCharacterYieldsAByteBelowSpaceOrDel) {
  for (char32_t c = 0; c < 0x30000; ++c) {
    for (char byte : glyph(c)) {
      const auto value = static_cast<unsigned char>(byte);
      ASSERT_TRUE(value >= 0x20 && value != 0x7F) << std::hex << static_cast<unsigned>(c);
    }
  }
}

}  // namespace
}  // namespace vornset
