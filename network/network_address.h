#pragma once

#include <string>
#include <string_view>

namespace vornset {

enum class NetworkProtocol : unsigned char { raw_tcp, rfc2217 };

// A port behind a device server: 'tcp://HOST:PORT' or 'rfc2217://HOST:PORT', the scheme in
// any letter case, HOST a name, an IPv4 address or an IPv6 address in brackets (a
// link-local one with its interface: '[fe80::1%eth0]'), PORT 1 to 65535 in decimal.
struct NetworkAddress {
  NetworkProtocol protocol = NetworkProtocol::raw_tcp;
  std::string host;     // without the brackets of an IPv6 address, and without its zone
  std::string zone;     // the interface behind '%' (a name, or its number); empty for none
  std::string service;  // the port number in decimal, 1 to 65535
};

// Whether the port text means a network port at all: it begins with one of the two
// schemes. Only such a text costs the network code anything.
bool names_network_port(std::string_view port_text);

// False for a text that names a network port but no valid address; `mistake` then says
// what is wrong with it as the failure line tells it ("no port number: write
// tcp://HOST:PORT").
bool parse_network_address(std::string_view port_text, NetworkAddress& address, std::string& mistake);

}  // namespace vornset
