#include "serial/port_list.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

TEST(PortListText, MostUsefulFirstEachWithItsSettingsLine) {
  const std::vector<ListedPort> ports{
      {"COM11", "/dev/ttyS10", {"serial8250"}, PortKind::built_in},
      {"COM2", "/dev/ttyS1", {"serial"}, PortKind::built_in},
      {"COM/dev/ttyAMA0", "/dev/ttyAMA0", {"uart-pl011"}, PortKind::other},
      {"COM/dev/ttyACM0", "/dev/ttyACM0", {"cdc_acm", "Pico"}, PortKind::usb},
      {"COM/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0",
       "/dev/ttyUSB0",
       {"ftdi_sio", "FTDI", "FT232R USB UART", "serial A50285BI"},
       PortKind::usb},
  };
  EXPECT_EQ(port_list_text(ports),
            "COM/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0  /dev/ttyUSB0, ftdi_sio, FTDI, "
            "FT232R USB UART, serial A50285BI\n"
            "COM/dev/ttyACM0                                                    /dev/ttyACM0, cdc_acm, Pico\n"
            "COM/dev/ttyAMA0                                                    /dev/ttyAMA0, uart-pl011\n"
            "COM2                                                               /dev/ttyS1, serial\n"
            "COM11                                                              /dev/ttyS10, serial8250\n");
}

TEST(PortListText, NoPortIsOneLine) { EXPECT_EQ(port_list_text({}), "No serial port found\n"); }

// A maker's name comes from the device itself: it must not move the cursor or ring the bell.
TEST(PortListText, ControlCharactersFromTheSystemShowAsGlyphs) {
  EXPECT_EQ(port_list_text({{"COM3", "\\Device\\VCP0", {"Ac\x1b[2Jme\a"}, PortKind::other}}),
            "COM3  \\Device\\VCP0, Ac\xE2\x90\x9B[2Jme\xE2\x90\x87\n");
}

}  // namespace
}  // namespace vornset
