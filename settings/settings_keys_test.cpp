#include "settings/settings_keys.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace vornset {
namespace {

using namespace std::string_literals;

constexpr LineLevel found = LineLevel::as_found;
constexpr LineLevel off = LineLevel::off;
constexpr LineLevel on = LineLevel::on;

struct KeyCase {
  std::string line;
  std::string port_text;
  std::string baud_text;
  LineLevel dtr = found;
  LineLevel rts = found;
  bool modem_line_mistake = false;
};

// Each line applied alone to the default texts "1" and "9600", lines as found.
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
    // DTR and RTS: at the start of a line, blanks before and behind, ON or OFF in any case.
    {"DTR OFF", "1", "9600", off},
    {"RTS ON", "1", "9600", found, on},
    {"dtr on", "1", "9600", on},
    {"Rts Off", "1", "9600", found, off},
    {"  \tDTR\t OFF \t", "1", "9600", off},
    {"\xEF\xBB\xBF" "RTS OFF", "1", "9600", found, off},
    // Elsewhere they are no key: remarks and other lines keep the lines as found.
    {"; RTS/CTS not used", "1", "9600"},
    {"PORTS", "1", "9600"},
    {"X DTR OFF", "1", "9600"},
    {"COM3 DTR OFF", "3 DTR OFF", "9600"},
    // A line that starts with a key and says anything else is a mistake, never a level.
    {"DTR 0", "1", "9600", found, found, true},
    {"RTS=off", "1", "9600", found, found, true},
    {"DTR OF", "1", "9600", found, found, true},
    {"DTR OFFF", "1", "9600", found, found, true},
    {"DTROFF", "1", "9600", found, found, true},
    {"DTR", "1", "9600", found, found, true},
    {"RTS ON ; keeps the PA quiet", "1", "9600", found, found, true},
    {"DTR OFF RTS OFF", "1", "9600", found, found, true},
    {"RTS\vOFF", "1", "9600", found, found, true},
    {"DTR O\0N"s, "1", "9600", found, found, true},
    {"DTR OFF COM3", "3", "9600", found, found, true},
    // LF line ends make one line of the file: a key behind an LF is a mistake too.
    {"DTR OFF\nCOM3\n", "3\n", "9600", found, found, true},
    {"COM3\nRTS OFF\n", "3\nRTS OFF\n", "9600", found, found, true},
    {"BAUD 9600\n  dtr on", "1", " 9600\n  dtr on", found, found, true},
};

TEST(SettingsKeys, EachLineSetsTheRestBehindItsKeys) {
  for (const KeyCase& row : key_cases) {
    PortSettings settings;
    apply_settings_keys(row.line, settings);
    EXPECT_EQ(settings.port_text, row.port_text) << "line '" << row.line << "'";
    EXPECT_EQ(settings.baud_text, row.baud_text) << "line '" << row.line << "'";
    EXPECT_EQ(settings.modem_lines.dtr, row.dtr) << "line '" << row.line << "'";
    EXPECT_EQ(settings.modem_lines.rts, row.rts) << "line '" << row.line << "'";
    EXPECT_EQ(settings.modem_line_mistake, row.modem_line_mistake ? row.line : "") << "line '" << row.line << "'";
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
  EXPECT_EQ(settings.port_line_start, "No com");
  apply_settings_keys("BAUD 9600", settings);
  EXPECT_EQ(settings.port_line_start, "No com");
}

TEST(SettingsKeys, TheLastModemLineWinsAndTheFirstMistakeIsKept) {
  PortSettings settings;
  apply_settings_keys("DTR ON", settings);
  apply_settings_keys("RTS ON", settings);
  apply_settings_keys("DTR OFF", settings);
  EXPECT_EQ(settings.modem_lines.dtr, LineLevel::off);
  EXPECT_EQ(settings.modem_lines.rts, LineLevel::on);
  apply_settings_keys("RTS 1", settings);
  apply_settings_keys("DTR 2", settings);
  EXPECT_EQ(settings.modem_line_mistake, "RTS 1");
  EXPECT_EQ(settings.modem_lines.rts, LineLevel::on);
}

}  // namespace
}  // namespace vornset
