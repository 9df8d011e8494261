#include "serial/system_file_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace vornset {

bool read_system_file(const char* path, std::string& text, std::size_t limit, LinkInName links) {
  const int flags = O_RDONLY | O_CLOEXEC | O_NONBLOCK | (links == LinkInName::refuse ? O_NOFOLLOW : 0);
  const int fd = ::open(path, flags);
  if (fd < 0) return false;
  char buffer[4096];
  ssize_t got = 0;
  for (std::size_t left = limit; left > 0;) {
    got = ::read(fd, buffer, std::min(sizeof buffer, left));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
    left -= static_cast<std::size_t>(got);
  }
  ::close(fd);
  return got >= 0;
}

std::string resolved_path(const char* path) {
  char resolved[PATH_MAX];
  return ::realpath(path, resolved) == nullptr ? std::string() : std::string(resolved);
}

}  // namespace vornset
