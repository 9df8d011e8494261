#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vornset {
namespace {

using namespace std::string_literals;

struct KeyCase {
  std::string line;
  std::string port_text;
  std::string baud_text;
};

// Each line applied alone to the default texts "1" and "9600".
const KeyCase key_cases[] = {
    {"COM3", "3", "9600"},
    {"com2", "2", "9600"},
    {"COM=3", "=3", "9600"},
    {"Port COM 4", " 4", "9600"},
    {"  COM5  ", "5  ", "9600"},
    {"COMPORT=3", "PORT=3", "9600"},
    // The first place the key stands, also after a start of it that does not go on.
    {"CCOM3", "3", "9600"},
    {"COCOM3", "3", "9600"},
    {"comcom", "com", "9600"},
    {"BAUBAUD 1200", "1", " 1200"},
    {"CO", "1", "9600"},
    {"BAU", "1", "9600"},
    {"USE COM", "", "9600"},
    {"BAUD 19200", "1", " 19200"},
    {"BAUD=19200", "1", "=19200"},
    {"Baudrate 4800", "1", "rate 4800"},
    {"COM3 BAUD 9600", "3 BAUD 9600", " 9600"},
    {"BAUD9600 COM3", "3", "9600 COM3"},
    {"BAUD 4800 ; comment", "ment", " 4800 ; comment"},
    {"; comment about COMmunication", "ment about COMmunication", "9600"},
    // The value keeps the letter case of the line, not of the copy the key was found in.
    {"cOm3a", "3a", "9600"},
    {"baud 19200x", "1", " 19200x"},
    // Only a to z fold: bytes of other code-page letters must match exactly.
    {"\xE7OM3", "1", "9600"},
    {"CO\xCD" "3", "1", "9600"},
    // The UTF-8 signature stands in front of the key and is not part of a value.
    {"\xEF\xBB\xBF" "COM3", "3", "9600"},
    // In UTF-16 a zero byte stands between the letters of a key.
    {"C\0O\0M\0" "3\0"s, "1", "9600"},
    // Every byte behind the key is kept, tabs and zero bytes too.
    {"COM\t3\0 "s, "\t3\0 "s, "9600"},
    {"", "1", "9600"},
};

TEST(SettingsKeys, EachLineSetsTheRestBehindItsKeys) {
  for (const KeyCase& row : key_cases) {
    PortSettings settings;
    apply_settings_keys(row.line, settings);
    EXPECT_EQ(settings.port_text, row.port_text) << "line '" << row.line << "'";
    EXPECT_EQ(settings.baud_text, row.baud_text) << "line '" << row.line << "'";
  }
}

TEST(SettingsKeys, ALaterLineReplacesWhatAnEarlierOneSet) {
  PortSettings settings;
  apply_settings_keys("COM3 BAUD 4800", settings);
  apply_settings_keys("COM4", settings);
  EXPECT_EQ(settings.port_text, "4");
  EXPECT_EQ(settings.baud_text, " 4800");
  apply_settings_keys("No comment", settings);
  EXPECT_EQ(settings.port_text, "ment");
}

}  // namespace
}  // namespace vornset
