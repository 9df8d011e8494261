#pragma once

#include <string_view>

#include "serial/serial_platform.h"

namespace vornset {

// The port behind a device server, for a port text that names_network_port() accepts:
// raw TCP or RFC 2217 over a socket, behind the same seam as a local port.
SerialPlatform& network_serial_platform();

}  // namespace vornset
