#pragma once

#include <sys/types.h>

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vornset {

// Where the reasons for a refused open are read from: the system's files, or a test's.
struct RefusalSources {
  // The live holder of the port's lock file that kept the open out, as the open found it
  // (looked up once, so that the message names the process that refused); 0 for none.
  pid_t lock_file_holder = 0;
  const char* proc = "/proc";
  const char* group_file = "/etc/group";
  const char* passwd_file = "/etc/passwd";
};

// One line of /proc/locks, as far as it says who holds which file:
// "1: FLOCK  ADVISORY  WRITE 1234 00:1a:3 0 EOF" (the file system's device in hex, then
// the inode).
struct HeldLock {
  bool flock = false;  // placed with flock, not by fcntl or as a lease
  pid_t pid = 0;
  unsigned long device_major = 0;
  unsigned long device_minor = 0;
  unsigned long long inode = 0;
};
// Nothing for a line that is no held lock, a waiter's ("1: -> FLOCK ...") among them.
std::optional<HeldLock> parse_held_lock(std::string_view line);

// The group part of a "permission denied", from the group and password files' text: the
// port's group, and whether the user only has to log in again. Empty when joining the
// group would not help: the session has it already, or it is root's group or unknown.
std::string group_refusal_reason(std::string_view group_file, std::string_view passwd_file, uid_t user,
                                 gid_t port_group, std::span<const gid_t> session_groups);

// What a refused open of `device_path` can say beyond its system code, read from the
// system on the failure path only: "in use by minicom, pid 1234" for EBUSY, the group to
// join for EACCES. Empty when nothing more can be found out.
[[gnu::cold]] std::string open_refusal_reason(const char* device_path, int system_code, const RefusalSources& sources);

}  // namespace vornset
