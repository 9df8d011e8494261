#include "frame/exit_sequence.h"

#include <cstdlib>
#include <unistd.h>

#include "frame/console_output.h"
#include "serial/serial_platform.h"

namespace vornset {

// The console sends what it still holds. The serial port stays open for the kernel to
// close as the process ends, but is no longer exclusive: the flag belongs to the
// terminal and would outlive the process while another program held the port.
void end_the_run(ExitCode code) {
  release_console();
  release_serial_port();
  std::exit(static_cast<int>(code));
}

void end_process_now(ExitCode code) {
  release_console();
  release_serial_port();
  _exit(static_cast<int>(code));
}

}  // namespace vornset
