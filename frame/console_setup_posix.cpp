#include "frame/console_output.h"

#include <unistd.h>

#include <cstdlib>

#include "frame/terminal_posix.h"

namespace vornset {
namespace {

constinit TerminalScreen terminal;
constinit ConsoleOutput console(terminal);

int choose_output() {
  if (isatty(STDOUT_FILENO)) return STDOUT_FILENO;
  if (isatty(STDERR_FILENO)) return STDERR_FILENO;
  return -1;
}

}  // namespace

// The terminal's modes are left alone: nothing restores them when the process ends,
// and a shell left without echo or line input would be unusable.
void set_up_console(void (*install_control_handler)()) {
  const int fd = choose_output();
  if (fd >= 0) terminal.attach(fd, terminal_takes_escapes(std::getenv("TERM")));
  if (install_control_handler != nullptr) install_control_handler();
}

ConsoleOutput& process_console() { return console; }

// Nothing opens a separate console input here; what the terminal still holds goes out.
void release_console() { terminal.flush(); }

}  // namespace vornset
