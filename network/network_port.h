#pragma once

#include <string_view>

#include "network/rfc2217.h"
#include "serial/serial_platform.h"

namespace vornset {

// The port behind a device server, for a port text that names_network_port() accepts:
// raw TCP or RFC 2217 over a socket, behind the same seam as a local port.
SerialPlatform& network_serial_platform();

// Why a raw TCP port refuses to set DTR or RTS: the protocol carries only the bytes.
inline constexpr std::string_view no_modem_lines_reason = "no modem lines on a raw TCP port";

}  // namespace vornset
