#pragma once

#include <cstddef>
#include <string>

namespace vornset {

// Whether a read follows a link in the file's own name: a lock file in a directory that
// every terminal program writes to is read only as itself.
enum class LinkInName { follow, refuse };

// Appends the bytes of a small system file (a lock file, /proc/locks, the group file, a
// sysfs attribute) to `text`, at most `limit` of them; false when it cannot be opened or a
// read fails. A read that a signal cuts short is retried; a FIFO or a device is never
// waited for.
bool read_system_file(const char* path, std::string& text, std::size_t limit,
                      LinkInName links = LinkInName::follow);

// The device that `path` leads to through every link on the way, as the real path
// (/dev/ttyS0 for /dev/serial0 -> ttyS0); empty when it leads nowhere.
std::string resolved_path(const char* path);

}  // namespace vornset
