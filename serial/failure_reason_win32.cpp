#include <windows.h>

#include "serial/failure_reason.h"

namespace vornset {

std::string_view serial_failure_reason(std::uint32_t system_code) {
  switch (system_code) {
    case ERROR_FILE_NOT_FOUND: case ERROR_PATH_NOT_FOUND: case ERROR_BAD_UNIT:
    case ERROR_DEV_NOT_EXIST: return "no such device";
    // A COM port refuses a second handle with "access denied": someone holds it.
    case ERROR_ACCESS_DENIED: case ERROR_SHARING_VIOLATION: return "in use by another program";
    case ERROR_INVALID_FUNCTION: case ERROR_NOT_SUPPORTED: return "not a serial device";
    case ERROR_SEM_TIMEOUT: case ERROR_TIMEOUT: return "timed out";
    case ERROR_INVALID_NAME: return "invalid name";
    case ERROR_GEN_FAILURE: return "device not working";
    case ERROR_DEVICE_NOT_CONNECTED: return "device not connected";
    // A port behind a device server: the Winsock codes, spelled out as windows.h has
    // them not.
    case 10061: return "connection refused";               // WSAECONNREFUSED
    case 10060: return "timed out";                        // WSAETIMEDOUT
    case 10053: case 10054: return "connection closed by the server";  // WSAECONNABORTED, WSAECONNRESET
    case 10051: case 10065: return "host unreachable";     // WSAENETUNREACH, WSAEHOSTUNREACH
    default: return {};
  }
}

}  // namespace vornset
