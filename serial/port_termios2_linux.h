#pragma once

#include <cstdint>

namespace vornset {

// Rates without a B constant go through the kernel's termios2 (BOTHER). Its header
// clashes with the C library's termios.h, so it is kept to the one file behind these.
// Both return 0, or -1 with errno set, as the ioctl does.

// Sets the output and input rate of `fd` to `rate`; every other setting stays.
int set_custom_baud_rate(int fd, std::uint32_t rate);

// The output rate of `fd` as the kernel holds it, whichever way it was set.
int read_baud_rate(int fd, std::uint32_t& rate);

}  // namespace vornset
