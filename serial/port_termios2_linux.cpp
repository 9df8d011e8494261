#include "serial/port_termios2_linux.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace vornset {

int set_custom_baud_rate(int fd, std::uint32_t rate) {
  termios2 settings{};
  if (ioctl(fd, TCGETS2, &settings) == -1) return -1;
  // Clearing the input rate bits makes the input rate follow the output rate.
  settings.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << IBSHIFT));
  settings.c_cflag |= BOTHER;
  settings.c_ospeed = rate;
  settings.c_ispeed = rate;
  return ioctl(fd, TCSETS2, &settings);
}

int read_baud_rate(int fd, std::uint32_t& rate) {
  termios2 settings{};
  if (ioctl(fd, TCGETS2, &settings) == -1) return -1;
  rate = settings.c_ospeed;
  return 0;
}

}  // namespace vornset
