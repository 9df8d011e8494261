#include <cerrno>

#include "serial/failure_reason.h"

namespace vornset {

std::string_view serial_failure_reason(std::uint32_t system_code) {
  switch (static_cast<int>(system_code)) {
    case EACCES: case EPERM: return "permission denied";
    // The port's open turns a held lock into EBUSY, as the kernel does for TIOCEXCL.
    case EBUSY: return "in use by another program";
    case ENOENT: case ENODEV: case ENXIO: return "no such device";
    case ENOTTY: case EISDIR: return "not a serial device";
    case ETIMEDOUT: return "timed out";
    // The port gives this code when a call failed and the device's node has gone.
    case ESHUTDOWN: return "device removed";
    case EIO: return "input/output error";
    case ENAMETOOLONG: return "name too long";
    // A port behind a device server.
    case ECONNREFUSED: return "connection refused";
    case ECONNRESET: case EPIPE: return "connection closed by the server";
    case EHOSTUNREACH: case ENETUNREACH: return "host unreachable";
    default: return {};
  }
}

}  // namespace vornset
