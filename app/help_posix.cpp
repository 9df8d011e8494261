#include "app/help.h"

#include <unistd.h>

#include <cerrno>

namespace vornset {

const HelpConventions kPlatformHelpConventions{"vornset", false};

// A write that fails (standard output closed, a full disk) ends the text there.
bool write_standard_output(std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(STDOUT_FILENO, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

}  // namespace vornset
