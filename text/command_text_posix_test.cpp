#include "text/command_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornset {
namespace {

std::string command_text_for(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  capture_command_line(static_cast<int>(arguments.size()), argv.data());
  return take_command_text();
}

struct ArgumentsCase {
  std::vector<std::string> arguments;
  std::string command_text;
};

TEST(CommandTextPosix, JoinsTheArgumentsWithBlanksAndUpperCases) {
  const ArgumentsCase table[] = {
      {{"vornset"}, ""},
      {{"vornset", "7.05"}, "7.05"},
      {{"vornset", "freq", "7.1"}, "FREQ 7.1"},
      {{"vornset", "Vhf"}, "VHF"},
      {{"vornset", "freq 7.1  "}, "FREQ 7.1  "},
      {{"vornset", "\t7.05"}, "\t7.05"},
      {{"vornset", "\"7.05\""}, "\"7.05\""},
      {{"vornset", "", "lf"}, " LF"},
      {{"vornset", "14.2", "hf", "x"}, "14.2 HF X"},
  };
  for (const ArgumentsCase& row : table) {
    EXPECT_EQ(command_text_for(row.arguments), row.command_text);
  }
  capture_command_line(0, nullptr);
  EXPECT_EQ(take_command_text(), "");
}

TEST(CommandTextPosix, NonAsciiLettersAreUpperCasedInUtf8) {
  EXPECT_EQ(command_text_for({"vornset", "\xC3\xA4"}), "\xC3\x84");  // ä -> Ä
}

TEST(CommandTextPosix, AsciiTailKeepsTheLetterCaseAndRefusesOtherCharacters) {
  std::vector<std::string> arguments = {"vornset", "--Help", "x"};
  std::vector<char*> argv = {arguments[0].data(), arguments[1].data(), arguments[2].data(), nullptr};
  capture_command_line(3, argv.data());
  EXPECT_EQ(ascii_command_tail(), "--Help x");

  std::string non_ascii = "-\xC3\xA4";  // -ä
  argv = {arguments[0].data(), non_ascii.data(), nullptr};
  capture_command_line(2, argv.data());
  EXPECT_EQ(ascii_command_tail(), std::nullopt);

  capture_command_line(0, nullptr);
  EXPECT_EQ(ascii_command_tail(), "");
}

}  // namespace
}  // namespace vornset
