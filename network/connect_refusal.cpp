#include "network/socket_calls.h"

namespace vornset {

std::string connect_refusal_reason(std::string_view port_text, std::uint32_t system_code) {
  switch (system_code) {
    case no_such_host_code: return "no such host";
    case no_lookup_code: return "no name lookup here: write the host's address";
    default: break;
  }
  NetworkAddress address;
  std::string mistake;
  const bool parsed = parse_network_address(port_text, address, mistake);
  if (system_code == address_mistake_code) return mistake;
  if (system_code == no_zone_code && parsed) {
    return "a link-local address needs its interface: write [" + address.host + "%INTERFACE]";
  }
  if (system_code == no_such_interface_code && parsed) return "no network interface " + address.zone + " here";
  return {};
}

}  // namespace vornset
