#pragma once

#include <string_view>

namespace vornset {

// Tells a caller that shows no console why the run failed: a script or a cron job that
// sends standard output and standard error to files would otherwise keep only the exit
// code. Where neither standard output nor standard error is a terminal, `line` goes to
// standard error as one line of plain text behind "vornset: ", with control characters
// shown as the terminal shows them. Where a terminal shows the console, and on Windows,
// it does nothing: the console showed the line already.
void log_failure_line(std::string_view line);

}  // namespace vornset
