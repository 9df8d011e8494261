#include "text/command_text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <string>

namespace vornset {
namespace {

std::string upper_ascii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// The test program's own command line: its name is split off, its arguments remain.
TEST(CommandTextWin32, TakesTheTailOfTheProcessCommandLine) {
  capture_command_line(0, nullptr);
  const std::string text = take_command_text();
  EXPECT_EQ(text.find("VORNSET_UNIT_TESTS"), std::string::npos) << text;
  for (int i = 1; i < __argc; ++i) {
    EXPECT_NE(text.find(upper_ascii(__argv[i])), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace vornset
