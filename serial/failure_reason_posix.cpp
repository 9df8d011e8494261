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
    case EIO: return "input/output error";
    case ENAMETOOLONG: return "name too long";
    default: return {};
  }
}

}  // namespace vornset
