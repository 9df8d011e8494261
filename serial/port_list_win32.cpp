#include "serial/port_list.h"

#include <windows.h>

#include <string_view>

namespace vornset {
namespace {

// The system's list of serial ports: one value per port, its name the device behind it
// ("\Device\Serial0", "\Device\VCP0") and its data the port's name ("COM3").
constexpr const char* kSerialPortsKey = "HARDWARE\\DEVICEMAP\\SERIALCOMM";

// Registry text is not always ended by a NUL; `size` bytes may hold one or several.
std::string registry_text(const char* bytes, DWORD size) {
  const std::string_view text(bytes, size);
  return std::string(text.substr(0, text.find('\0')));
}

}  // namespace

std::vector<ListedPort> system_serial_ports() {
  std::vector<ListedPort> ports;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSerialPortsKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return ports;  // no key: no port was ever made on this machine
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD name_size = sizeof name;
    char data[256];
    DWORD data_size = sizeof data;
    DWORD type = 0;
    const LONG result = RegEnumValueA(key, index, name, &name_size, nullptr, &type,
                                      reinterpret_cast<BYTE*>(data), &data_size);
    if (result == ERROR_MORE_DATA) continue;  // no port's name is that long
    if (result != ERROR_SUCCESS) break;
    if (type != REG_SZ) continue;
    ListedPort port;
    port.settings_line = registry_text(data, data_size);
    port.device = registry_text(name, name_size);
    // Ports built into the machine are \Device\SerialN; adapters have names of their own.
    port.kind = std::string_view(port.device).starts_with("\\Device\\Serial") ? PortKind::built_in
                                                                                : PortKind::other;
    if (port.settings_line.empty()) continue;
    ports.push_back(std::move(port));
  }
  RegCloseKey(key);
  return ports;
}

}  // namespace vornset
