#include "serial/port_list_linux.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <string_view>

#include "serial/system_file_posix.h"

namespace vornset {
namespace {

// The first line of a sysfs attribute, without its line end; empty when there is none.
std::string attribute(const std::string& path) {
  std::string value;
  read_system_file(path.c_str(), value, 4096);  // sysfs gives at most a page
  value.resize(std::min(value.size(), value.find('\n')));
  return value;
}

std::vector<std::string> entries_of(const std::string& directory) {
  std::vector<std::string> names;
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return names;
  // One thread; readdir_r is the deprecated one.
  // cppcheck-suppress readdirCalled
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name != "." && name != "..") names.emplace_back(name);
  }
  ::closedir(listing);
  return names;  // in the directory's order
}

bool exists(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0;
}

std::string link_target(const std::string& path) {
  char target[PATH_MAX];
  const ssize_t length = ::readlink(path.c_str(), target, sizeof target);
  return length > 0 ? std::string(target, static_cast<std::size_t>(length)) : std::string();
}

std::string last_part(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// Where a link leads, as a real path; empty when it leads nowhere.
std::string real_path(const std::string& path) { return resolved_path(path.c_str()); }

// The folder one level up; `folder` itself at the top of the tree.
std::string parent_of(const std::string& folder) { return folder.substr(0, std::max<std::size_t>(1, folder.rfind('/'))); }

// The USB device a port hangs from: the nearest folder above the port's device that has a
// vendor number, not above `top`; empty for a port that is not on USB.
std::string usb_device_above(std::string folder, std::size_t top) {
  for (; folder.size() > top; folder = parent_of(folder)) {
    if (exists(folder + "/idVendor")) return folder;
  }
  return {};
}

// The driver of the port's hardware. Since Linux 6.5 a UART's tty hangs from the serial
// core's own port and controller devices (bus serial-base, drivers "port" and "ctrl"):
// the hardware's driver is above them.
std::string driver_above(std::string folder, std::size_t top) {
  for (; folder.size() > top; folder = parent_of(folder)) {
    if (last_part(link_target(folder + "/subsystem")) != "serial-base") {
      return last_part(link_target(folder + "/driver"));
    }
  }
  return {};
}

// A name that pastes into the settings file as it stands: no blank, nothing but ASCII,
// and no BAUD in any letter case, which would make the port's line set the rate too.
bool is_plain_name(std::string_view name) {
  if (name.empty() || !std::all_of(name.begin(), name.end(), [](char c) { return c > ' ' && c < 0x7F; })) {
    return false;
  }
  constexpr std::string_view key = "BAUD";
  return std::search(name.begin(), name.end(), key.begin(), key.end(), [](char c, char k) {
           return (c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c) == k;
         }) == name.end();
}

// The by-id link that leads to `tty`, as /dev/serial/by-id/NAME; empty when none does.
// Of several, the first in byte order, whatever the directory's order.
std::string stable_name_of(const std::string& tty, const std::string& dev_root,
                           const std::vector<std::string>& by_id) {
  const std::string folder = dev_root + "/serial/by-id/";
  const std::string* first = nullptr;
  for (const std::string& name : by_id) {
    if ((first == nullptr || name < *first) && is_plain_name(name) && last_part(link_target(folder + name)) == tty) {
      first = &name;
    }
  }
  return first == nullptr ? std::string() : folder + *first;
}

// ttyS0 is COM1, up to ttyS255, COM256.
std::string com_name_of(std::string_view tty) {
  if (!tty.starts_with("ttyS")) return {};
  const std::string_view number = tty.substr(4);
  if (number.empty() || number.size() > 3 || (number.size() > 1 && number.front() == '0') ||
      !std::all_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return {};
  }
  int n = 0;
  std::from_chars(number.data(), number.data() + number.size(), n);
  return n < 256 ? "COM" + std::to_string(n + 1) : std::string();
}

void add_detail(std::vector<std::string>& details, const std::string& value, std::string_view label = {}) {
  if (value.empty()) return;
  details.emplace_back(label);
  details.back() += value;
}

}  // namespace

std::vector<ListedPort> serial_ports_in(const std::string& sys_root, const std::string& dev_root) {
  std::vector<ListedPort> ports;
  const std::string ttys = sys_root + "/class/tty/";
  // Lines such as "tty0 ttyS0": what the kernel writes its messages to is no instrument's.
  const std::string consoles = " " + attribute(ttys + "console/active") + " ";
  const std::vector<std::string> by_id = entries_of(dev_root + "/serial/by-id");
  const std::string devices = real_path(sys_root) + "/devices";
  for (const std::string& tty : entries_of(ttys)) {
    const std::string folder = ttys + tty;
    if (!exists(folder + "/device")) continue;
    if (attribute(folder + "/type") == "0") continue;  // an 8250 line without a UART
    if (consoles.find(" " + tty + " ") != std::string::npos) continue;
    ListedPort port;
    port.device = dev_root;
    port.device += '/';
    port.device += tty;
    // The walks up from the device stay inside the tree of devices.
    std::string device = real_path(folder + "/device");
    if (!device.starts_with(devices + "/")) device.clear();
    add_detail(port.details, driver_above(device, devices.size()));
    const std::string usb = usb_device_above(device, devices.size());
    if (!usb.empty()) {
      port.kind = PortKind::usb;
      add_detail(port.details, attribute(usb + "/manufacturer"));
      add_detail(port.details, attribute(usb + "/product"));
      add_detail(port.details, attribute(usb + "/serial"), "serial ");
      port.settings_line = stable_name_of(tty, dev_root, by_id);
    }
    const std::string com = com_name_of(tty);
    if (!com.empty()) {
      port.kind = PortKind::built_in;
      port.settings_line = com;
    }
    if (port.settings_line.empty()) port.settings_line = port.device;
    if (port.settings_line.front() == '/') port.settings_line.insert(0, "COM");
    ports.push_back(std::move(port));
  }
  return ports;
}

bool is_kernel_console(const std::string& sys_root, dev_t device) {
  const std::string ttys = sys_root + "/class/tty/";
  const std::string consoles = attribute(ttys + "console/active");
  for (std::size_t start = 0; start < consoles.size();) {
    std::size_t end = consoles.find(' ', start);
    if (end == std::string::npos) end = consoles.size();
    const std::string number = attribute(ttys + consoles.substr(start, end - start) + "/dev");  // "4:64"
    unsigned major_number = 0;
    unsigned minor_number = 0;
    const char* const last = number.data() + number.size();
    const auto [colon, major_error] = std::from_chars(number.data(), last, major_number);
    if (major_error == std::errc() && colon != last && *colon == ':' &&
        std::from_chars(colon + 1, last, minor_number).ec == std::errc() &&
        makedev(major_number, minor_number) == device) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

std::vector<ListedPort> system_serial_ports() { return serial_ports_in("/sys", "/dev"); }

}  // namespace vornset
