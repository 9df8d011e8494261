#include "frame/exit_sequence.h"

#include <cstdlib>
#include <unistd.h>

namespace vornset {

// Nothing of ours needs releasing: output is unbuffered and the serial port is left
// for the kernel to drain and close as the process ends.
void end_the_run(ExitCode code) { std::exit(static_cast<int>(code)); }

void end_process_now(ExitCode code) { _exit(static_cast<int>(code)); }

}  // namespace vornset
