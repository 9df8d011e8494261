#include "app/settings_hint.h"

#include <algorithm>
#include <string_view>

#include "network/network_address.h"
#include "serial/baud_rate.h"

namespace vornset {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kLfLineEnds = " has LF line ends: end each line with CR LF";

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// "VornSet.ini (/etc/vornset)": the name as found, then the folder that holds it.
std::string file_and_folder(std::string_view path) {
  const std::size_t separator = path.find_last_of("/\\");
  if (separator == std::string_view::npos) return std::string(path);
  std::string_view folder = path.substr(0, separator);
  // The root keeps its separator: "/" and "C:\", not "" and "C:".
  if (folder.empty() || folder.back() == ':') folder = path.substr(0, separator + 1);
  std::string named(path.substr(separator + 1));
  named += " (";
  named += folder;
  named += ')';
  return named;
}

// A port as the settings file takes it: a number, a network address, or on Linux a path.
bool is_port_like(std::string_view value) {
  return !value.empty() && (value.front() == '/' || names_network_port(value) ||
                            std::all_of(value.begin(), value.end(), is_digit));
}

// The port that a key with letters behind COM names, as "COMPORT=/dev/ttyUSB0" or
// "COM_PORT 3" do; empty for any other text.
std::string_view port_behind_longer_key(std::string_view port) {
  const std::size_t key_end = port.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz_");
  if (key_end == 0 || key_end == std::string_view::npos) return {};
  std::string_view value = port.substr(key_end);
  if (value.starts_with("://")) return {};  // a network address, not a key
  const std::size_t start = value.find_first_not_of(" \t=:");
  if (start == 0 || start == std::string_view::npos) return {};
  value.remove_prefix(start);
  value.remove_suffix(value.size() - (value.find_last_not_of(kBlanks) + 1));
  return is_port_like(value) ? value : std::string_view();
}

// An address of a scheme the network port does not know, or one of its own two written
// wrong: "telnet://radio-pi:4000", "rfc2217:/radio-pi:4000".
bool names_other_scheme(std::string_view port) {
  const std::size_t colon = port.find(":/");
  if (colon == 0 || colon == std::string_view::npos || names_network_port(port)) return false;
  return std::all_of(port.begin(), port.begin() + static_cast<std::ptrdiff_t>(colon),
                     [](char c) { return is_letter(c) || is_digit(c) || c == '+' || c == '-' || c == '.'; });
}

// A port text is a number, a network address or, on Linux, a path: any other text with a
// letter first means the key was found inside a longer key or a word, most often in a
// remark ("; communication settings").
std::string port_fix(std::string_view port, std::string_view line_start) {
  std::string fix;
  if (port.find('\n') != std::string_view::npos) return std::string(kLfLineEnds);
  if (const std::string_view value = port_behind_longer_key(port); !value.empty()) {
    fix = ": write COM";
    fix += value;
    fix += ", not COM";
    fix += port;
    return fix;
  }
  if (names_other_scheme(port)) {
    fix = ": write COMrfc2217://HOST:PORT or COMtcp://HOST:PORT, not COM";
    fix += port;
    return fix;
  }
  if (!port.empty() && is_letter(port.front()) && !names_network_port(port)) {
    // The whole line, as written: the key inside a word ("recommended") is no text the
    // user could find in the file.
    fix = " takes the port from \"";
    fix += line_start;
    fix += port;
    fix += "\": keep COM out of every line but the port's";
    return fix;
  }
  std::string_view bare = port;
  bare.remove_prefix(std::min(bare.size(), bare.find_first_not_of(" \t=:")));
  bare.remove_suffix(bare.size() - std::min(bare.size(), bare.find_last_not_of(kBlanks) + 1));
  if (bare.empty() || bare.size() == port.size()) return fix;
  if (bare.data() != port.data()) {
    fix = ": write COM";
    fix += bare;
    fix += ", not COM";
    fix += port;
    return fix;
  }
  fix = " has blanks behind COM";
  fix += bare;
  fix += ": end the line right behind the port";
  return fix;
}

// The digits of a number as written from `start` on, with the separators of thousands
// left out ("19,200" and "19.200" give "19200"); `end` becomes where the number ends.
std::string digits_written(std::string_view text, std::size_t start, std::size_t& end) {
  std::string digits;
  end = start;
  while (end < text.size()) {
    if (is_digit(text[end])) {
      digits += text[end++];
      continue;
    }
    const bool group_follows = end + 3 < text.size() && is_digit(text[end + 1]) && is_digit(text[end + 2]) &&
                               is_digit(text[end + 3]) && (end + 4 == text.size() || !is_digit(text[end + 4]));
    if ((text[end] != ',' && text[end] != '.' && text[end] != '\'') || !group_follows) break;
    ++end;
  }
  return digits;
}

// Only a baud text that does not read as the number it shows is the file's mistake; a
// number the port cannot make ("BAUD 0", "BAUD 250000") is the user's own choice. No
// line runs below 50 baud: "BAUD 19,200" reads as 19.
std::string rate_fix(std::string_view baud) {
  std::string fix;
  if (baud_rate_for_text(baud) >= 50) return fix;
  if (baud.find('\n') != std::string_view::npos) return std::string(kLfLineEnds);
  const std::size_t digits = baud.find_first_of("0123456789");
  if (digits == std::string_view::npos) {
    fix = " takes the rate from \"BAUD";
    fix += baud;
    fix += "\": write the number right behind BAUD, as in BAUD 19200";
    return fix;
  }
  std::size_t end = digits;
  const std::string number = digits_written(baud, digits, end);
  const std::size_t first = baud.find_first_not_of(" \t");
  if (first == digits && number.size() == end - digits) return fix;
  fix = ": write BAUD ";
  fix += number;
  fix += ", not BAUD";
  fix += baud;
  return fix;
}

// The fix for a file without a COM line, whose port was COM1 by default.
std::string no_port_fix(std::string_view unkeyed_line) {
  std::string fix = " names no port, so COM1 was used";
  const std::size_t path = unkeyed_line.find("/dev/");
  if (path == std::string_view::npos) return fix;
  const auto trimmed = [](std::string_view text) {
    text.remove_prefix(std::min(text.size(), text.find_first_not_of(kBlanks)));
    text.remove_suffix(text.size() - std::min(text.size(), text.find_last_not_of(kBlanks) + 1));
    return text;
  };
  fix += ": write COM";
  fix += trimmed(unkeyed_line.substr(path));
  fix += ", not ";
  fix += trimmed(unkeyed_line);
  return fix;
}

}  // namespace

std::string modem_line_mistake_message(const PortSettings& settings) {
  std::string message(kModemLineMistakeMessage);
  message += "; ";
  message += file_and_folder(settings.file_path);
  std::string_view line = settings.modem_line_mistake;
  if (line.find('\n') != std::string_view::npos) return message + std::string(kLfLineEnds);
  // From the key on: the reader took the blanks and a UTF-8 signature in front for none.
  while (!line.empty() && !is_letter(line.front())) line.remove_prefix(1);
  const std::string_view key = line.empty() || (line.front() | 0x20) == 'd' ? "DTR" : "RTS";
  // "DTR OFF ; ptt": a setting that holds with its remark taken off.
  std::string_view setting = line.substr(0, line.find_first_of(";#"));
  setting.remove_suffix(setting.size() - std::min(setting.size(), setting.find_last_not_of(kBlanks) + 1));
  std::string_view level = setting.substr(std::min(setting.size(), key.size()));
  const bool remark_behind = setting.size() < line.size() && !level.empty() && kBlanks.find(level.front()) != std::string_view::npos;
  level.remove_prefix(std::min(level.size(), level.find_first_not_of(kBlanks)));
  const auto is = [level](std::string_view word) {
    return level.size() == word.size() && std::equal(level.begin(), level.end(), word.begin(),
                                                     [](char a, char b) { return (a & ~0x20) == b; });
  };
  if (remark_behind && (is("ON") || is("OFF"))) {
    message += ": write ";
    message += setting;
    message += ", not ";
    message += line;
    message += ": a remark goes on a line of its own";
    return message;
  }
  message += ": write ";
  message += key;
  message += " OFF or ";
  message += key;
  message += " ON, not ";
  message += line;
  return message;
}

std::string settings_mistake_hint(const PortSettings& settings, bool port_opened) {
  if (settings.file_path.empty()) return {};
  std::string fix = port_opened           ? rate_fix(settings.baud_text)
                    : settings.names_port ? port_fix(settings.port_text, settings.port_line_start)
                                          : no_port_fix(settings.unkeyed_port_line);
  if (fix.empty()) return fix;
  return "; " + file_and_folder(settings.file_path) + fix;
}

}  // namespace vornset
