#include <gtest/gtest.h>

#include <string_view>

#include "text/command_text.h"

namespace vornset {
namespace {

struct TailCase {
  std::u16string_view command_line;
  std::u16string_view tail;
};

TEST(FindTailStart, SplitsOffTheProgramName) {
  const TailCase table[] = {
      {u"VornSet.exe", u""},
      {u"VornSet.exe 7.05", u"7.05"},
      {u"VornSet.exe    freq 7.1  ", u"freq 7.1  "},
      {u"VornSet.exe   ", u""},
      {u"\"C:\\Program Files\\VornSet\\VornSet.exe\" vhf", u"vhf"},
      {u"\"C:\\Tools\\VornSet.exe\"lf", u"lf"},
      {u"\"C:\\Tools\\VornSet.exe\"   ", u""},
      {u"\"\" lf", u"lf"},
      {u"\"unclosed name 7.05", u""},
      {u"VornSet.exe\t7.05", u"\t7.05"},
      {u"VornSet.exe\x01 7", u"\x01 7"},
      {u"VornSet.exe \"7.05\"", u"\"7.05\""},
      {u"VornSet.exe a\"b c\"", u"a\"b c\""},
      {u"  7.05", u"7.05"},
      {u" ", u""},
      {u"", u""},
      {u"V\u00f6rnSet\u4e2d.exe 7", u"7"},
      {u"\u00a0VornSet 7", u"7"},
      {u"VornSet.exe \t lf", u"\t lf"},
  };
  for (const TailCase& row : table) {
    const std::size_t start = find_tail_start(row.command_line);
    ASSERT_LE(start, row.command_line.size());
    EXPECT_TRUE(row.command_line.substr(start) == row.tail)
        << "tail starts at " << start << " of " << row.command_line.size();
  }
}

}  // namespace
}  // namespace vornset
