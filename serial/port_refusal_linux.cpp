#include "serial/port_refusal_linux.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <vector>

#include "serial/system_file_posix.h"

namespace vornset {

namespace {

// The next field of `text` behind `at`, blanks skipped; empty at the end.
std::string_view next_field(std::string_view text, std::size_t& at, char separator = ' ') {
  while (at < text.size() && text[at] == separator) ++at;
  const std::size_t start = at;
  while (at < text.size() && text[at] != separator) ++at;
  return text.substr(start, at - start);
}

template <typename Number>
bool parse_number(std::string_view text, Number& number, int base = 10) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, base);
  return error == std::errc() && end == text.data() + text.size();
}

// Read as they are: the program links statically, and the system's name services would
// need the shared libraries it does not have. A file past this is no account file or lock
// table of a working system.
bool read_file(const std::string& path, std::string& text) {
  constexpr std::size_t limit = std::size_t{1} << 20;
  return read_system_file(path.c_str(), text, limit);
}

// Calls `take` with each line of `text`, until it says stop.
template <typename Take>
void each_line(std::string_view text, Take take) {
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string_view::npos) end = text.size();
    if (!take(text.substr(at, end - at))) return;
    at = end + 1;
  }
}

// Calls `take` with the first four fields of each line of a colon-separated file, until
// it says stop.
template <typename Take>
void each_entry(std::string_view file, Take take) {
  each_line(file, [&](std::string_view line) {
    std::string_view fields[4];
    std::size_t field_at = 0;
    for (std::string_view& field : fields) {
      const std::size_t colon = line.find(':', field_at);
      field = line.substr(field_at, colon - field_at);
      field_at = colon == std::string_view::npos ? line.size() : colon + 1;
    }
    return take(fields);
  });
}

bool listed(std::string_view members, std::string_view name) {
  std::size_t at = 0;
  for (std::string_view member = next_field(members, at, ','); !member.empty();
       member = next_field(members, at, ',')) {
    if (member == name) return true;
  }
  return false;
}

// The process's name from /proc/PID/comm, as ps shows it; empty when it cannot be read.
std::string process_name(const char* proc, pid_t pid) {
  std::string name;
  if (!read_file(std::string(proc) + '/' + std::to_string(pid) + "/comm", name)) return {};
  while (!name.empty() && name.back() == '\n') name.pop_back();
  return name;
}

// The process that holds an flock on the file at `device_path`; 0 when none is found.
pid_t flock_holder(const char* device_path, const char* proc) {
  struct stat device;
  std::string locks;
  if (::stat(device_path, &device) != 0 || !read_file(std::string(proc) + "/locks", locks)) return 0;
  pid_t holder = 0;
  each_line(locks, [&](std::string_view line) {
    const std::optional<HeldLock> lock = parse_held_lock(line);
    if (lock && lock->flock && lock->pid > 0 && lock->device_major == major(device.st_dev) &&
        lock->device_minor == minor(device.st_dev) && lock->inode == device.st_ino) {
      holder = lock->pid;
    }
    return holder == 0;
  });
  return holder;
}

std::string in_use_reason(const char* device_path, const RefusalSources& sources) {
  pid_t holder = sources.lock_file_holder;
  if (holder == 0) holder = flock_holder(device_path, sources.proc);
  const std::string name = holder == 0 ? std::string() : process_name(sources.proc, holder);
  if (name.empty()) return {};
  return "in use by " + name + ", pid " + std::to_string(holder);
}

std::string permission_reason(const char* device_path, const RefusalSources& sources) {
  struct stat device;
  if (::stat(device_path, &device) != 0) return {};
  // Only a group that may read and write the port is worth joining.
  if ((device.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return {};
  std::string groups;
  std::string users;
  if (!read_file(sources.group_file, groups)) return {};
  read_file(sources.passwd_file, users);  // without it only the group is named
  const int count = ::getgroups(0, nullptr);
  std::vector<gid_t> session(static_cast<std::size_t>(std::max(count, 0)) + 1);
  const int got = ::getgroups(count, session.data());
  session.resize(static_cast<std::size_t>(std::max(got, 0)));
  session.push_back(::getegid());
  return group_refusal_reason(groups, users, ::getuid(), device.st_gid, session);
}

}  // namespace

std::optional<HeldLock> parse_held_lock(std::string_view line) {
  std::size_t at = 0;
  const std::string_view number = next_field(line, at);
  if (number.empty() || number.back() != ':') return std::nullopt;
  HeldLock lock;
  const std::string_view kind = next_field(line, at);
  if (kind == "->") return std::nullopt;  // waiting for the lock above, not holding it
  lock.flock = kind == "FLOCK";
  next_field(line, at);  // ADVISORY or MANDATORY
  next_field(line, at);  // READ or WRITE
  const std::string_view pid = next_field(line, at);
  const std::string_view file = next_field(line, at);
  std::size_t file_at = 0;
  const std::string_view device_major = next_field(file, file_at, ':');
  const std::string_view device_minor = next_field(file, file_at, ':');
  const std::string_view inode = next_field(file, file_at, ':');
  if (!parse_number(pid, lock.pid) || !parse_number(device_major, lock.device_major, 16) ||
      !parse_number(device_minor, lock.device_minor, 16) || !parse_number(inode, lock.inode)) {
    return std::nullopt;
  }
  return lock;
}

std::string group_refusal_reason(std::string_view group_file, std::string_view passwd_file, uid_t user,
                                 gid_t port_group, std::span<const gid_t> session_groups) {
  const bool in_session = std::find(session_groups.begin(), session_groups.end(), port_group) != session_groups.end();
  if (port_group == 0 || in_session) return {};
  std::string_view user_name;
  bool primary = false;  // the port's group is the user's own in the password file
  each_entry(passwd_file, [&](const std::string_view (&fields)[4]) {
    uid_t uid = 0;
    if (!parse_number(fields[2], uid) || uid != user) return true;
    user_name = fields[0];
    gid_t gid = 0;
    primary = parse_number(fields[3], gid) && gid == port_group;
    return false;
  });
  std::string_view group_name;
  bool member = primary;
  each_entry(group_file, [&](const std::string_view (&fields)[4]) {
    gid_t gid = 0;
    if (!parse_number(fields[2], gid) || gid != port_group) return true;
    group_name = fields[0];
    member = member || (!user_name.empty() && listed(fields[3], user_name));
    return false;
  });
  if (group_name.empty()) return {};
  std::string reason = "permission denied: the port belongs to group ";
  reason += group_name;
  // Groups are given at login: a user added since has them from the next one on. A user
  // whom the password file does not know (a network account) has no name to look for in
  // the group's members: all that is known is that this login lacks the group.
  if (member) {
    reason += ", which your user joined after this login; log in again";
  } else if (user_name.empty()) {
    reason += ", which this login does not have; add your user to it if need be, then log in again";
  } else {
    reason += "; add your user to it, then log in again";
  }
  return reason;
}

std::string open_refusal_reason(const char* device_path, int system_code, const RefusalSources& sources) {
  switch (system_code) {
    case EBUSY: return in_use_reason(device_path, sources);
    case EACCES: case EPERM: return permission_reason(device_path, sources);
    default: return {};
  }
}

}  // namespace vornset
