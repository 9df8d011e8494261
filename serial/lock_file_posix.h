#pragma once

#include <sys/types.h>

#include <span>
#include <string_view>

namespace vornset {

// Where terminal programs put the lock files that mark a port as theirs: /var/lock is
// the old place, today often a link to /run/lock.
inline constexpr const char* system_lock_directories[] = {"/run/lock", "/var/lock"};

// The pid that a lock file's bytes name: ASCII digits, blank-padded and ended by a newline
// (ten digits, as programs write them today, some with their name and user behind a
// blank), or the binary int of older programs; 0 for anything else.
pid_t pid_in_lock_file(std::string_view bytes);

// Whether process `pid` exists. A process of another user's, which the signal may not
// reach (EPERM), exists all the same.
bool process_alive(pid_t pid);

// The live process (not this one) whose lock file LCK..NAME stands in one of
// `directories`, NAME the last part of `device_path` as written (ttyUSB0 for /dev/ttyUSB0),
// of each link on the way to the device, or of the device itself; 0 when none does. A lock
// file whose process is gone is stale and left alone. A pseudo-terminal's name without a
// lock file costs one failed open per directory and no allocation; any other name one
// readlink more, and a link those of each level, the device's real path and its opens.
pid_t lock_file_holder(const char* device_path, std::span<const char* const> directories);

}  // namespace vornset
