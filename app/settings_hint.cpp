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
std::string port_fix(std::string_view port) {
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
    fix = " takes the port from \"COM";
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

// Only a baud text that reads as no number is the file's mistake; a number the port
// cannot make ("BAUD 0", "BAUD 250000") is the user's own choice.
std::string rate_fix(std::string_view baud) {
  std::string fix;
  const std::size_t first = baud.find_first_not_of(" \t\r\n");
  if (baud_rate_for_text(baud) != 0 || (first != std::string_view::npos && is_digit(baud[first]))) {
    return fix;
  }
  if (baud.find('\n') != std::string_view::npos) return std::string(kLfLineEnds);
  const std::size_t digits = baud.find_first_of("0123456789");
  if (digits == std::string_view::npos) {
    fix = " takes the rate from \"BAUD";
    fix += baud;
    fix += "\": write the number right behind BAUD, as in BAUD 19200";
    return fix;
  }
  std::size_t end = digits;
  while (end < baud.size() && is_digit(baud[end])) ++end;
  fix = ": write BAUD ";
  fix += baud.substr(digits, end - digits);
  fix += ", not BAUD";
  fix += baud;
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
  std::string fix = port_opened ? rate_fix(settings.baud_text) : port_fix(settings.port_text);
  if (fix.empty()) return fix;
  return "; " + file_and_folder(settings.file_path) + fix;
}

}  // namespace vornset
