#include "app/settings_hint.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

struct Texts {
  const char* port_text;
  const char* baud_text;
  bool port_opened;
  const char* fix;  // what follows the file's name; empty: no hint at all
  const char* port_line_start = "COM";  // the port's line up to its key
  bool names_port = true;  // a line held COM
  const char* unkeyed_port_line = "";
};

constexpr std::string_view kFile = "; VornSet.ini (/home/ann/.config/vornset)";

class SettingsMistakeHint : public testing::TestWithParam<Texts> {};

TEST_P(SettingsMistakeHint, NamesTheFileAndTheFix) {
  PortSettings settings;
  settings.port_text = GetParam().port_text;
  settings.baud_text = GetParam().baud_text;
  settings.port_line_start = GetParam().port_line_start;
  settings.file_path = "/home/ann/.config/vornset/VornSet.ini";
  settings.names_port = GetParam().names_port;
  settings.unkeyed_port_line = GetParam().unkeyed_port_line;
  const std::string fix = GetParam().fix;
  EXPECT_EQ(settings_mistake_hint(settings, GetParam().port_opened), fix.empty() ? fix : std::string(kFile) + fix);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SettingsMistakeHint,
    testing::Values(
        // What the reader took from files that say what their writers meant.
        Texts{"/dev/ttyUSB0\nBAUD 19200\n", " 19200\n", false, " has LF line ends: end each line with CR LF"},
        Texts{"3\n", "9600", false, " has LF line ends: end each line with CR LF"},
        Texts{"=/dev/ttyUSB0", "9600", false, ": write COM/dev/ttyUSB0, not COM=/dev/ttyUSB0"},
        Texts{" /dev/ttyUSB0", "9600", false, ": write COM/dev/ttyUSB0, not COM /dev/ttyUSB0"},
        Texts{" = 3 ", "9600", false, ": write COM3, not COM = 3 "},
        Texts{"/dev/ttyUSB0 ", "9600", false, " has blanks behind COM/dev/ttyUSB0: end the line right behind the port"},
        Texts{"3\t", "9600", false, " has blanks behind COM3: end the line right behind the port"},
        Texts{":3", "9600", false, ": write COM3, not COM:3"},
        Texts{"PORT=/dev/ttyUSB0", "9600", false, ": write COM/dev/ttyUSB0, not COMPORT=/dev/ttyUSB0"},
        Texts{"_PORT 3 ", "9600", false, ": write COM3, not COM_PORT 3 "},
        Texts{"PORT: 12", "9600", false, ": write COM12, not COMPORT: 12"},
        Texts{"munication port 3", "9600", false,
              " takes the port from \"COMmunication port 3\": keep COM out of every line but the port's"},
        // A remark quoted whole, the key in its word as written, not as "COMmended".
        Texts{"mended", "9600", false,
              " takes the port from \"; 9600 is recommended\": keep COM out of every line but the port's",
              "; 9600 is recom"},
        Texts{"PORT3", "9600", false, " takes the port from \"COMPORT3\": keep COM out of every line but the port's"},
        Texts{"munication settings", "9600", false,
              " takes the port from \"COMmunication settings\": keep COM out of every line but the port's"},
        Texts{"telnet://radio-pi:4000", "9600", false,
              ": write COMrfc2217://HOST:PORT or COMtcp://HOST:PORT, not COMtelnet://radio-pi:4000"},
        Texts{"rfc2217:/radio-pi:4000", "9600", false,
              ": write COMrfc2217://HOST:PORT or COMtcp://HOST:PORT, not COMrfc2217:/radio-pi:4000"},
        Texts{"/dev/ttyUSB0", "=9600", true, ": write BAUD 9600, not BAUD=9600"},
        Texts{"/dev/ttyUSB0", "=19,200", true, ": write BAUD 19200, not BAUD=19,200"},
        Texts{"/dev/ttyUSB0", " 19,200", true, ": write BAUD 19200, not BAUD 19,200"},
        Texts{"/dev/ttyUSB0", " 19.200", true, ": write BAUD 19200, not BAUD 19.200"},
        Texts{"/dev/ttyUSB0", " 20", true, ""},
        Texts{"/dev/ttyUSB0", " 19.2", true, ""},
        Texts{"1", "9600", false, " names no port, so COM1 was used", "", false},
        Texts{"1", "9600", false, " names no port, so COM1 was used: write COM/dev/ttyUSB0, not PORT=/dev/ttyUSB0",
              "", false, "PORT=/dev/ttyUSB0 "},
        Texts{"1", "9600", false, " names no port, so COM1 was used: write COM/dev/ttyUSB0, not CMO/dev/ttyUSB0",
              "", false, "CMO/dev/ttyUSB0"},
        Texts{"/dev/ttyUSB0", "rate 4800", true, ": write BAUD 4800, not BAUDrate 4800"},
        Texts{"/dev/ttyUSB0", "=9600\n", true, " has LF line ends: end each line with CR LF"},
        Texts{"/dev/ttyUSB0", " fast", true,
              " takes the rate from \"BAUD fast\": write the number right behind BAUD, as in BAUD 19200"},
        // Texts that are right, or wrong in a way that is the user's choice: no hint.
        Texts{"/dev/ttyUSB0", "9600", false, ""},
        Texts{"3", "9600", false, ""},
        Texts{"tcp://radio-pi:4000", "9600", false, ""},
        Texts{"RFC2217://[::1]:4000", "9600", false, ""},
        Texts{"tcp://radio-pi:4000\n", "9600", false, " has LF line ends: end each line with CR LF"},
        Texts{"", "9600", false, ""},
        Texts{"=", "9600", false, ""},
        Texts{"/dev/ttyUSB0", " 250000", true, ""},
        Texts{"/dev/ttyUSB0", "0", true, ""},
        Texts{"/dev/ttyUSB0", " 0", true, ""},
        // Each step is judged on its own text: a refused port says nothing of the rate, a
        // refused rate nothing of the port.
        Texts{"/dev/ttyUSB0", "=9600", false, ""},
        Texts{"=/dev/ttyUSB0", "9600", true, ""}));

TEST(SettingsMistakeHint, NothingWithoutAFile) {
  PortSettings settings{.port_text = "=3", .baud_text = "9600", .file_path = "", .modem_lines = {}, .modem_line_mistake = "", .names_port = true,
                        .unkeyed_port_line = ""};
  EXPECT_EQ(settings_mistake_hint(settings, false), "");
}

TEST(SettingsMistakeHint, NamesTheFolderOnEveryPlatform) {
  PortSettings settings{.port_text = "=3", .baud_text = "9600", .file_path = "", .modem_lines = {}, .modem_line_mistake = "", .names_port = true,
                        .unkeyed_port_line = ""};
  for (const auto& [path, named] : {std::pair{"C:\\VornSet\\VornSet.ini", "VornSet.ini (C:\\VornSet)"},
                                    std::pair{"C:\\VORNSET.INI", "VORNSET.INI (C:\\)"},
                                    std::pair{"/VornSet.ini", "VornSet.ini (/)"}}) {
    settings.file_path = path;
    EXPECT_EQ(settings_mistake_hint(settings, false), std::string("; ") + named + ": write COM3, not COM=3");
  }
}

TEST(ModemLineMistakeMessage, NamesTheFileTheLineAndTheFix) {
  const struct {
    const char* line;
    const char* fix;
  } table[] = {
      {"DTR 0", ": write DTR OFF or DTR ON, not DTR 0"},
      {"  \trts=off", ": write RTS OFF or RTS ON, not rts=off"},
      {"\xEF\xBB\xBF" "Dtr Of", ": write DTR OFF or DTR ON, not Dtr Of"},
      {"RTS OFF ; keeps the PA quiet",
       ": write RTS OFF, not RTS OFF ; keeps the PA quiet: a remark goes on a line of its own"},
      {"DTR OFF ; ptt", ": write DTR OFF, not DTR OFF ; ptt: a remark goes on a line of its own"},
      {"dtr off# ptt", ": write dtr off, not dtr off# ptt: a remark goes on a line of its own"},
      {"COM3\nDTR OFF\n", " has LF line ends: end each line with CR LF"},
  };
  PortSettings settings;
  settings.file_path = "/home/ann/.config/vornset/VornSet.ini";
  for (const auto& row : table) {
    settings.modem_line_mistake = row.line;
    EXPECT_EQ(modem_line_mistake_message(settings),
              "Modem line setting not understood, nothing sent" + std::string(kFile) + row.fix);
  }
}

}  // namespace
}  // namespace vornset
