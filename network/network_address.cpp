#include "network/network_address.h"

namespace vornset {

namespace {

char lower(char character) {
  return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

bool starts_with_scheme(std::string_view text, std::string_view scheme) {
  if (text.size() < scheme.size()) return false;
  for (std::size_t index = 0; index < scheme.size(); ++index) {
    if (lower(text[index]) != scheme[index]) return false;
  }
  return true;
}

bool valid_port_number(std::string_view digits) {
  if (digits.empty() || digits.size() > 5 || digits[0] == '0') return false;
  unsigned value = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') return false;
    value = value * 10 + static_cast<unsigned>(digit - '0');
  }
  return value <= 65535;
}

// Letters, digits, '-', '.', and ':' inside brackets: nothing the resolver could take for
// something else, no blank, no control character.
bool valid_host(std::string_view host, bool bracketed) {
  if (host.empty() || host.size() > 253) return false;
  for (const char character : host) {
    const bool letter_or_digit = (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
                                 (character >= '0' && character <= '9');
    if (letter_or_digit || character == '-' || character == '.' || (bracketed && character == ':')) continue;
    return false;
  }
  return true;
}

}  // namespace

bool names_network_port(std::string_view port_text) {
  return starts_with_scheme(port_text, "tcp://") || starts_with_scheme(port_text, "rfc2217://");
}

bool parse_network_address(std::string_view port_text, NetworkAddress& address) {
  std::string_view rest;
  if (starts_with_scheme(port_text, "tcp://")) {
    address.protocol = NetworkProtocol::raw_tcp;
    rest = port_text.substr(6);
  } else if (starts_with_scheme(port_text, "rfc2217://")) {
    address.protocol = NetworkProtocol::rfc2217;
    rest = port_text.substr(10);
  } else {
    return false;
  }
  const std::size_t colon = rest.rfind(':');
  if (colon == std::string_view::npos) return false;
  std::string_view host = rest.substr(0, colon);
  const std::string_view port = rest.substr(colon + 1);
  const bool bracketed = host.size() >= 2 && host.front() == '[' && host.back() == ']';
  if (bracketed) host = host.substr(1, host.size() - 2);
  if (!valid_host(host, bracketed) || !valid_port_number(port)) return false;
  address.host.assign(host);
  address.service.assign(port);
  return true;
}

}  // namespace vornset
