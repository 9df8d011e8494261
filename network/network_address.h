#pragma once

#include <string>
#include <string_view>

namespace vornset {

enum class NetworkProtocol : unsigned char { raw_tcp, rfc2217 };

// A port behind a device server: 'tcp://HOST:PORT' or 'rfc2217://HOST:PORT', the scheme in
// any letter case, HOST a name, an IPv4 address or an IPv6 address in brackets, PORT 1 to
// 65535 in decimal.
struct NetworkAddress {
  NetworkProtocol protocol = NetworkProtocol::raw_tcp;
  std::string host;     // without the brackets of an IPv6 address
  std::string service;  // the port number's digits
};

// Whether the port text means a network port at all: it begins with one of the two
// schemes. Only such a text costs the network code anything.
bool names_network_port(std::string_view port_text);

// False for a text that names a network port but no valid address.
bool parse_network_address(std::string_view port_text, NetworkAddress& address);

}  // namespace vornset
