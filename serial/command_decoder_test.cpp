#include "serial/command_decoder.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

TEST(DescribeCommand, NamesEachCommandAndFlagsEverythingElse) {
  const struct {
    std::string_view command;
    std::string_view meaning;
  } table[] = {
      {"LP0;", "low-pass filter out"},
      {"LP1;", "low-pass filter in"},
      {"TT0;", "power output"},
      {"TT1;", "0 dBm output"},
      {"FA00007050000;", "frequency 7050000 Hz"},
      {"FA00144390000;", "frequency 144390000 Hz"},
      {"FA00000000000;", "frequency 0 Hz"},
      {"FA0007050000;", "malformed: FA0007050000;"},      // ten digits
      {"FA000070500000;", "malformed: FA000070500000;"},  // twelve digits
      {"FA0000705000x;", "malformed: FA0000705000x;"},
      {"LP2;", "malformed: LP2;"},
      {"lp1;", "malformed: lp1;"},
      {"LP1", "malformed: LP1"},
      {std::string_view("L\0P\r\n\xff\\;", 8), "malformed: L\\x00P\\x0D\\x0A\\xFF\\x5C;"},
  };
  for (const auto& row : table) {
    EXPECT_EQ(describe_command(row.command), row.meaning) << escape_bytes(row.command);
  }
}

}  // namespace
}  // namespace vornset
