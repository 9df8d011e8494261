#pragma once

#include "frame/exit_code.h"

namespace vornset {

// The program's main routine: runs once and says how the run ended.
using MainRoutine = ExitCode (*)();

// Runs the start-up sequence (platform check, console, command line, signals),
// calls `main_routine` once and ends the process with the exit code it returns.
[[noreturn]] void start_process(int argc, char** argv, MainRoutine main_routine);

}  // namespace vornset
