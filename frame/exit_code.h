#pragma once

namespace vornset {

// What the process tells its caller. A run that did not do its job never ends with `sent`.
enum class ExitCode : int {
  sent = 0,     // the commands were sent (or a help text was shown)
  failed = 1,   // settings missing or unreadable, frequency out of range, serial failure
  fatal = 255,  // the platform refused the program, or a statement failed beyond recovery
};

}  // namespace vornset
