#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "serial/port_list.h"

namespace vornset {

// The serial ports that sysfs under `sys_root` knows (/sys on the machine itself): every
// tty with a device behind it, except an 8250 line that no UART answers (type 0) and the
// kernel's console. A USB port is named by its link in `dev_root`/serial/by-id when it has
// one; /dev/ttyS(n-1) is COMn. Tests point both roots at a tree of their own.
[[gnu::cold]] std::vector<ListedPort> serial_ports_in(const std::string& sys_root, const std::string& dev_root);

// Whether `device` (a device number) is a tty that the kernel writes its messages to, as
// sysfs under `sys_root` names them (console/active, each name's dev): no instrument's.
[[gnu::cold]] bool is_kernel_console(const std::string& sys_root, dev_t device);

}  // namespace vornset
