#include "frame/exit_sequence.h"

#include <cstdlib>
#include <unistd.h>

#include "frame/console_output.h"

namespace vornset {

// The console sends what it still holds; the serial port is left for the kernel to
// drain and close as the process ends.
void end_the_run(ExitCode code) {
  release_console();
  std::exit(static_cast<int>(code));
}

void end_process_now(ExitCode code) {
  release_console();
  _exit(static_cast<int>(code));
}

}  // namespace vornset
