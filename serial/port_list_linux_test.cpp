#include "serial/port_list_linux.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>

#include "tests/support/temp_directory_posix.h"

namespace vornset {
namespace {

using testing_support::TempDirectory;

// A sysfs and a /dev of a machine with two working 8250s, a line without a UART, the
// console, a PL011, an FTDI adapter with its by-id link and a CDC-ACM board without one.
class FakeMachine : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* folder :
         {"sys/class/tty", "sys/bus/serial-base", "sys/bus/pnp/drivers/serial", "sys/bus/platform/drivers/serial8250",
          "sys/bus/platform/drivers/uart-pl011", "sys/bus/usb-serial/drivers/ftdi_sio", "sys/bus/usb/drivers/cdc_acm",
          "sys/devices/pnp0/00:01/00:01:0/00:01:0.0/tty/ttyS1", "sys/devices/pnp0/00:00/00:00:0/00:00:0.0/tty/ttyS0",
          "sys/devices/platform/serial8250/tty/ttyS2", "sys/devices/platform/serial8250/tty/ttyS10",
          "sys/devices/platform/fe201000.serial/tty/ttyAMA0", "sys/devices/virtual/tty/tty1",
          "sys/devices/pci0000:00/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0",
          "sys/devices/pci0000:00/usb1/1-2/1-2:1.0/tty/ttyACM0", "dev/serial/by-id"}) {
      make_folders(folder);
    }
    // Since Linux 6.5 a UART's tty hangs from the serial core's port and controller.
    const std::string pnp = "sys/devices/pnp0/00:01";
    link(pnp + "/00:01:0/00:01:0.0/subsystem", "sys/bus/serial-base");
    link(pnp + "/00:01:0/subsystem", "sys/bus/serial-base");
    link(pnp + "/driver", "sys/bus/pnp/drivers/serial");
    tty("ttyS1", pnp + "/00:01:0/00:01:0.0", "4");
    tty("ttyS0", "sys/devices/pnp0/00:00/00:00:0/00:00:0.0", "4");
    link("sys/devices/platform/serial8250/driver", "sys/bus/platform/drivers/serial8250");
    tty("ttyS2", "sys/devices/platform/serial8250", "0");
    tty("ttyS10", "sys/devices/platform/serial8250", "4");
    link("sys/devices/platform/fe201000.serial/driver", "sys/bus/platform/drivers/uart-pl011");
    tty("ttyAMA0", "sys/devices/platform/fe201000.serial", "");
    ASSERT_EQ(::symlink("../../devices/virtual/tty/tty1", root.file("sys/class/tty/tty1").c_str()), 0);

    const std::string ftdi = "sys/devices/pci0000:00/usb1/1-1";
    usb_device(ftdi, "FTDI", "FT232R USB UART", "A50285BI");
    link(ftdi + "/1-1:1.0/ttyUSB0/driver", "sys/bus/usb-serial/drivers/ftdi_sio");
    tty("ttyUSB0", ftdi + "/1-1:1.0/ttyUSB0", "");
    const std::string by_id = "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
    ASSERT_EQ(::symlink("../../ttyUSB0", root.file(by_id).c_str()), 0);

    const std::string acm = "sys/devices/pci0000:00/usb1/1-2";
    usb_device(acm, "Ac\x1bme", "Pico", "");
    link(acm + "/1-2:1.0/driver", "sys/bus/usb/drivers/cdc_acm");
    tty("ttyACM0", acm + "/1-2:1.0", "");
    // Pasted into the settings file, this name would set the rate as well: not taken.
    ASSERT_EQ(::symlink("../../ttyACM0", root.file("dev/serial/by-id/usb-Baudline_Pico-if00").c_str()), 0);
    make_folders("sys/class/tty/console");
    root.write_file("sys/class/tty/console/active", "tty0 ttyS0\n");
  }

  void make_folders(const std::string& path) {
    for (std::size_t slash = path.find('/'); slash != std::string::npos; slash = path.find('/', slash + 1)) {
      ::mkdir(root.file(path.substr(0, slash)).c_str(), 0755);
    }
    ::mkdir(root.file(path).c_str(), 0755);
  }
  // Links `from` to `to` with a relative target, as sysfs does.
  void link(const std::string& from, const std::string& to) {
    std::string target;
    for (std::size_t i = 1; i < static_cast<std::size_t>(std::count(from.begin(), from.end(), '/')); ++i) target += "../";
    ASSERT_EQ(::symlink(("../" + target + to).c_str(), root.file(from).c_str()), 0) << from;
  }
  void tty(const std::string& name, const std::string& device, const std::string& type) {
    const std::string folder = device + "/tty/" + name;
    make_folders(folder);
    link(folder + "/device", device);
    if (!type.empty()) root.write_file(folder + "/type", type + "\n");
    link("sys/class/tty/" + name, folder);
  }
  void usb_device(const std::string& folder, const std::string& maker, const std::string& product,
                  const std::string& serial) {
    root.write_file(folder + "/idVendor", "0403\n");
    root.write_file(folder + "/manufacturer", maker + "\n");
    root.write_file(folder + "/product", product + "\n");
    if (!serial.empty()) root.write_file(folder + "/serial", serial + "\n");
  }

  TempDirectory root;
};

TEST_F(FakeMachine, ListsThePortsWithADeviceBehindThem) {
  std::vector<ListedPort> ports = serial_ports_in(root.file("sys"), root.file("dev"));
  std::sort(ports.begin(), ports.end(), [](const ListedPort& a, const ListedPort& b) { return a.device < b.device; });
  const std::string dev = root.file("dev");
  struct Expected {
    std::string settings_line;
    std::string device;
    std::vector<std::string> details;
    PortKind kind;
  };
  const std::vector<Expected> expected{
      {"COM" + dev + "/ttyACM0", dev + "/ttyACM0", {"cdc_acm", "Ac\x1bme", "Pico"}, PortKind::usb},
      {"COM" + dev + "/ttyAMA0", dev + "/ttyAMA0", {"uart-pl011"}, PortKind::other},
      {"COM2", dev + "/ttyS1", {"serial"}, PortKind::built_in},
      {"COM11", dev + "/ttyS10", {"serial8250"}, PortKind::built_in},
      {"COM" + dev + "/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
       dev + "/ttyUSB0",
       {"ftdi_sio", "FTDI", "FT232R USB UART", "serial A50285BI"},
       PortKind::usb},
  };
  ASSERT_EQ(ports.size(), expected.size()) << port_list_text(ports);
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(ports[i].settings_line, expected[i].settings_line);
    EXPECT_EQ(ports[i].device, expected[i].device);
    EXPECT_EQ(ports[i].details, expected[i].details) << ports[i].device;
    EXPECT_EQ(ports[i].kind, expected[i].kind) << ports[i].device;
  }
}

// ttyS1 is no console because ttyS10 is: the console's names are whole words.
TEST_F(FakeMachine, OnlyTheConsoleItselfIsLeftOut) {
  root.write_file("sys/class/tty/console/active", "ttyS10\n");
  std::vector<std::string> devices;
  for (const ListedPort& port : serial_ports_in(root.file("sys"), root.file("dev"))) devices.push_back(port.device);
  std::sort(devices.begin(), devices.end());
  const std::string dev = root.file("dev");
  EXPECT_EQ(devices, (std::vector<std::string>{dev + "/ttyACM0", dev + "/ttyAMA0", dev + "/ttyS0", dev + "/ttyS1",
                                               dev + "/ttyUSB0"}));
  // An open refuses the console by its device number, whatever link names it.
  root.write_file("sys/devices/platform/serial8250/tty/ttyS10/dev", "4:74\n");
  root.write_file("sys/devices/pnp0/00:01/00:01:0/00:01:0.0/tty/ttyS1/dev", "4:65\n");
  EXPECT_TRUE(is_kernel_console(root.file("sys"), makedev(4, 74)));
  EXPECT_FALSE(is_kernel_console(root.file("sys"), makedev(4, 65)));
  EXPECT_FALSE(is_kernel_console(root.file("sys"), makedev(4, 7)));
}

TEST(PortsIn, NoTtyClassMeansNoPort) {
  TempDirectory root;
  EXPECT_TRUE(serial_ports_in(root.file("sys"), root.file("dev")).empty());
}

}  // namespace
}  // namespace vornset
