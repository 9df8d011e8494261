#include "serial/lock_file_posix.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>

#include "serial/system_file_posix.h"

namespace vornset {

namespace {

constexpr std::string_view lock_prefix = "/LCK..";

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\n'; }

// ASCII digits behind blanks, ended by a blank or the end; what follows a blank is the
// holder's own (some programs add their name and user: "      1234 minicom ann").
// 0 for anything else or a number past any pid.
pid_t ascii_pid(std::string_view bytes) {
  std::size_t at = 0;
  while (at < bytes.size() && is_blank(bytes[at])) ++at;
  std::int64_t pid = 0;  // long is 32 bits on armhf: the check below must see the overflow
  std::size_t digits = 0;
  for (; at < bytes.size() && bytes[at] >= '0' && bytes[at] <= '9'; ++at, ++digits) {
    pid = pid * 10 + (bytes[at] - '0');
    if (pid > INT_MAX) return 0;
  }
  return digits > 0 && (at == bytes.size() || is_blank(bytes[at])) ? static_cast<pid_t>(pid) : 0;
}

// The name behind the last '/'.
const char* last_part(const char* path) {
  const char* slash = std::strrchr(path, '/');
  return slash == nullptr ? path : slash + 1;
}

// Whether `path` may be a link to the device rather than the device: anything but a
// pseudo-terminal's name (devpts holds no links). A udev alias such as /dev/ttyRadio
// looks like a device's name, so only asking tells; the question costs one readlink.
bool may_be_a_link(const char* path) { return !std::string_view(path).starts_with("/dev/pts/"); }

// The live process whose lock file LCK..NAME stands in one of `directories`; 0 for none.
pid_t holder_of(const char* name, std::span<const char* const> directories) {
  const std::size_t name_size = std::strlen(name);
  if (name_size == 0) return 0;
  for (const char* directory : directories) {
    // On the stack: the normal run, which finds no lock file, allocates nothing here.
    char path[PATH_MAX];
    const std::size_t directory_size = std::strlen(directory);
    if (directory_size + lock_prefix.size() + name_size >= sizeof path) continue;
    char* end = std::copy_n(directory, directory_size, path);
    end = std::copy(lock_prefix.begin(), lock_prefix.end(), end);
    std::copy_n(name, name_size + 1, end);  // with its NUL
    // Ten digits, a name and a user at the most; a link is not followed out of a directory
    // that every terminal program writes to.
    std::string bytes;
    if (!read_system_file(path, bytes, 64, LinkInName::refuse) || bytes.empty()) continue;
    const pid_t pid = pid_in_lock_file(std::string_view(bytes.data(), bytes.size()));
    // A stale lock file's pid may be ours by now: we hold no port yet.
    if (process_alive(pid) && pid != ::getpid()) return pid;
  }
  return 0;
}

// Puts the path that link `from` leads to into `to` (a relative target is taken from the
// link's own folder); false when `from` is no link or the path does not fit.
bool follow_link(const char* from, char (&to)[PATH_MAX]) {
  char target[PATH_MAX];
  const ssize_t size = ::readlink(from, target, sizeof target - 1);
  if (size <= 0) return false;
  target[size] = '\0';
  const std::size_t folder_size = target[0] == '/' ? 0 : static_cast<std::size_t>(last_part(from) - from);
  if (folder_size + static_cast<std::size_t>(size) >= sizeof to) return false;
  std::memmove(to, from, folder_size);  // `from` may be `to`
  std::copy_n(target, size + 1, to + folder_size);
  return true;
}

}  // namespace

pid_t pid_in_lock_file(std::string_view bytes) {
  const pid_t pid = ascii_pid(bytes);
  if (pid != 0 || bytes.size() != sizeof(int)) return pid;
  int binary = 0;
  std::memcpy(&binary, bytes.data(), sizeof binary);
  return binary > 0 ? binary : 0;
}

bool process_alive(pid_t pid) { return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM); }

pid_t lock_file_holder(const char* device_path, std::span<const char* const> directories) {
  const char* name = last_part(device_path);
  if (const pid_t holder = holder_of(name, directories); holder != 0) return holder;
  // A program that opened the port through a link may have named its lock file after
  // that link, after any link on the way or after the device itself: all are looked for.
  if (!may_be_a_link(device_path)) return 0;
  char path[PATH_MAX];
  if (!follow_link(device_path, path)) return 0;
  // As many links as the kernel follows in one name (SYMLOOP_MAX is 40 on Linux).
  for (int level = 1; level < 40; ++level) {
    if (const pid_t holder = holder_of(last_part(path), directories); holder != 0) return holder;
    if (!follow_link(path, path)) break;
  }
  // A folder on the way may be a link as well: the device's own name is the real path's.
  const std::string device = resolved_path(device_path);
  const char* device_name = last_part(device.c_str());
  return device.empty() || std::strcmp(device_name, last_part(path)) == 0 ? 0 : holder_of(device_name, directories);
}

}  // namespace vornset
