#include "network/network_address.h"

#include <algorithm>

namespace vornset {

namespace {

constexpr unsigned highest_tcp_port = 65535;

char lower(char character) {
  return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

bool is_digit(char character) { return character >= '0' && character <= '9'; }

bool is_letter_or_digit(char character) {
  return is_digit(character) || (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z');
}

bool starts_with_scheme(std::string_view text, std::string_view scheme) {
  if (text.size() < scheme.size()) return false;
  for (std::size_t index = 0; index < scheme.size(); ++index) {
    if (lower(text[index]) != scheme[index]) return false;
  }
  return true;
}

// Letters, digits, '-', '.', and ':' inside brackets: nothing the resolver could take for
// something else, no blank, no control character.
bool valid_host(std::string_view host, bool bracketed) {
  if (host.empty() || host.size() > 253) return false;
  return std::all_of(host.begin(), host.end(), [bracketed](char character) {
    return is_letter_or_digit(character) || character == '-' || character == '.' || (bracketed && character == ':');
  });
}

// An interface as the system names it ('eth0', 'enp3s0.100', 'br-lan') or numbers it.
bool valid_zone(std::string_view zone) {
  return !zone.empty() && zone.size() < 64 && std::all_of(zone.begin(), zone.end(), [](char character) {
    return is_letter_or_digit(character) || character == '-' || character == '.' || character == '_';
  });
}

// The port's digits as a number; 0 for anything that is no TCP port. Counting stops past
// the highest port, so no number of digits can wrap onto another port.
unsigned tcp_port(std::string_view digits) {
  unsigned value = 0;
  for (const char digit : digits) {
    if (!is_digit(digit)) return 0;
    value = value * 10 + static_cast<unsigned>(digit - '0');
    if (value > highest_tcp_port) return 0;
  }
  return value;
}

}  // namespace

bool names_network_port(std::string_view port_text) {
  return starts_with_scheme(port_text, "tcp://") || starts_with_scheme(port_text, "rfc2217://");
}

bool parse_network_address(std::string_view port_text, NetworkAddress& address, std::string& mistake) {
  mistake.clear();
  std::size_t scheme_size = 0;
  if (starts_with_scheme(port_text, "tcp://")) {
    address.protocol = NetworkProtocol::raw_tcp;
    scheme_size = 6;
  } else if (starts_with_scheme(port_text, "rfc2217://")) {
    address.protocol = NetworkProtocol::rfc2217;
    scheme_size = 10;
  } else {
    mistake = "invalid name";
    return false;
  }
  // The fixes repeat the scheme as the user wrote it.
  const std::string scheme(port_text.substr(0, scheme_size));
  const std::string_view rest = port_text.substr(scheme_size);
  std::string_view host;
  std::string_view after;  // from the ':' before the port on
  const bool bracketed = !rest.empty() && rest.front() == '[';
  if (bracketed) {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) {
      mistake = "no ] behind the IPv6 address";
      return false;
    }
    host = rest.substr(1, close - 1);
    after = rest.substr(close + 1);
  } else {
    // An IPv6 address's own colons could not be told from the port's.
    const std::string_view up_to_path = rest.substr(0, rest.find('/'));
    if (std::count(up_to_path.begin(), up_to_path.end(), ':') > 1) {
      mistake = "an IPv6 address goes in brackets";
      return false;
    }
    const std::size_t end = std::min(rest.find_first_of(":/"), rest.size());
    host = rest.substr(0, end);
    after = rest.substr(end);
  }
  std::size_t port_size = 0;
  if (after.size() > 1 && after.front() == ':') {
    while (port_size + 1 < after.size() && is_letter_or_digit(after[port_size + 1])) ++port_size;
  }
  if (port_size == 0) {
    mistake = "no port number: write " + scheme + "HOST:PORT";
    return false;
  }
  if (const std::size_t percent = host.find('%'); bracketed && percent != std::string_view::npos) {
    address.zone.assign(host.substr(percent + 1));
    host = host.substr(0, percent);
    // Only an IPv6 address has a zone.
    if (!valid_zone(address.zone) || host.find(':') == std::string_view::npos) {
      mistake = "invalid name";
      return false;
    }
  } else {
    address.zone.clear();
  }
  if (host.empty()) {
    mistake = "no host: write " + scheme + "HOST:PORT";
    return false;
  }
  if (!valid_host(host, bracketed)) {
    mistake = "invalid name";
    return false;
  }
  const std::string_view port = after.substr(1, port_size);
  const unsigned number = tcp_port(port);
  if (number == 0) {
    mistake = "port ";
    mistake += port;
    mistake += " is not a TCP port";
    return false;
  }
  if (after.size() > port_size + 1) {
    mistake = "nothing may follow the port number: write ";
    mistake += port_text.substr(0, port_text.size() - (after.size() - port_size - 1));
    return false;
  }
  address.host.assign(host);
  address.service = std::to_string(number);
  return true;
}

}  // namespace vornset
