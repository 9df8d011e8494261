#include "frame/console_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vornset {
namespace {

std::u32string widen(std::string_view text) {
  std::u32string cells(text.size(), U'?');
  cells.resize(widen_text(text, cells));
  return cells;
}

TEST(WidenText, EachCodePointIsOneCellAndEachBadByteOneReplacement) {
  const struct {
    const char* name;
    std::string_view bytes;
    std::u32string cells;
  } cases[] = {
      {"ASCII and controls pass unchanged", "A\t\x1b[1m\x7f", U"A\t\x1b[1m\x7f"},
      {"NUL is a character", std::string_view("a\0b", 3), std::u32string(U"a\0b", 3)},
      {"two, three and four bytes", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x93\xbb", U"\u00e9\u20ac\U0001F4FB"},
      {"lowest and highest of each length", "\xc2\x80\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf",
       U"\u0080\u07ff\u0800\uffff"},
      {"highest code point", "\xf4\x8f\xbf\xbf", U"\U0010FFFF"},
      {"lone continuation bytes", "\x80\xbf", U"\ufffd\ufffd"},
      {"bytes that never occur", "\xc0\xc1\xf5\xff", U"\ufffd\ufffd\ufffd\ufffd"},
      {"overlong slash", "\xc0\xaf", U"\ufffd\ufffd"},
      {"overlong three bytes", "\xe0\x80\xaf", U"\ufffd\ufffd\ufffd"},
      {"overlong four bytes", "\xf0\x80\x80\xaf", U"\ufffd\ufffd\ufffd\ufffd"},
      {"surrogate", "\xed\xa0\x80", U"\ufffd\ufffd\ufffd"},
      {"past U+10FFFF", "\xf4\x90\x80\x80", U"\ufffd\ufffd\ufffd\ufffd"},
      {"sequence cut by an ASCII byte", "\xe2\x82" "A", U"\ufffd\ufffdA"},
      {"sequence cut by the end", "ok\xf0\x9f\x93", U"ok\ufffd\ufffd\ufffd"},
      {"C1 control encoded as UTF-8 is a character", "\xc2\x9b", U"\u009b"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(widen(c.bytes), c.cells) << c.name;
  }
}

TEST(WidenText, StopsWhenTheRoomIsFull) {
  char32_t room[2] = {};
  EXPECT_EQ(widen_text("abc", room), 2u);
  EXPECT_EQ(room[1], U'b');
}

}  // namespace
}  // namespace vornset
