#pragma once

#include "frame/exit_code.h"

namespace vornset {

// Runs the exit sequence (releases what start-up took) and ends the process.
[[noreturn]] void end_the_run(ExitCode code);

// Ends the process at once, without the exit sequence: the fatal path.
[[noreturn]] void end_process_now(ExitCode code);

}  // namespace vornset
