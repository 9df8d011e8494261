#include "frame/failure_log.h"

#include <unistd.h>

#include <cerrno>

#include "frame/failure_log_posix.h"
#include "frame/terminal_glyph.h"

namespace vornset {

std::string failure_log_text(std::string_view line) {
  return "vornset: " + shown_as_glyphs(line) + '\n';
}

// Only a failed run gets here, so the two questions cost a normal run nothing; the
// answers are the ones the console set-up had, as nothing moves the standard streams.
void log_failure_line(std::string_view line) {
  if (::isatty(STDOUT_FILENO) == 1 || ::isatty(STDERR_FILENO) == 1) return;
  const std::string text = failure_log_text(line);
  std::string_view rest = text;
  while (!rest.empty()) {
    const ssize_t written = ::write(STDERR_FILENO, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;  // nobody is left to tell
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
}

}  // namespace vornset
