#include "serial/port_refusal_linux.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <fstream>
#include <tuple>
#include <vector>

#include "tests/support/serial_line_posix.h"
#include "tests/support/temp_directory_posix.h"

namespace vornset {
namespace {

TEST(HeldLock, LinesOfProcLocks) {
  const struct {
    std::string_view line;
    bool held;
    HeldLock lock;
  } table[] = {
      {"1: FLOCK  ADVISORY  WRITE 1234 00:1a:3 0 EOF", true, {true, 1234, 0x00, 0x1a, 3}},
      {"12: POSIX  ADVISORY  READ 77 fe:01:1158672 0 EOF", true, {false, 77, 0xfe, 0x01, 1158672}},
      {"3: OFDLCK ADVISORY  WRITE -1 00:05:1031 0 EOF", true, {false, -1, 0x00, 0x05, 1031}},
      {"4: FLOCK  ADVISORY  WRITE 99 103:02:4294967296 0 EOF", true, {true, 99, 0x103, 0x02, 4294967296}},
      {"1: -> FLOCK  ADVISORY  WRITE 5678 00:1a:3 0 EOF", false, {}},  // a waiter
      {"", false, {}},
      {"1: FLOCK  ADVISORY  WRITE x 00:1a:3 0 EOF", false, {}},
      {"1: FLOCK  ADVISORY  WRITE 1234 00:1a 0 EOF", false, {}},
      {"1 FLOCK  ADVISORY  WRITE 1234 00:1a:3 0 EOF", false, {}},
  };
  for (const auto& row : table) {
    const std::optional<HeldLock> lock = parse_held_lock(row.line);
    const auto fields = [](const HeldLock& held) {
      return std::tuple(held.flock, held.pid, held.device_major, held.device_minor, held.inode);
    };
    ASSERT_EQ(lock.has_value(), row.held) << row.line;
    if (lock) {
      EXPECT_EQ(fields(*lock), fields(row.lock)) << row.line;
    }
  }
}

TEST(GroupRefusal, NamesTheGroupAndWhatIsMissing) {
  constexpr std::string_view groups =
      "root:x:0:\n"
      "tty:x:5:\n"
      "dialout:x:20:ann,bob\n"
      "uucp:x:10:\n"
      "carl:x:1003:\n";
  constexpr std::string_view users =
      "root:x:0:0:root:/root:/bin/bash\n"
      "ann:x:1001:1001::/home/ann:/bin/bash\n"
      "bob:x:1002:1002::/home/bob:/bin/bash\n"
      "carl:x:1003:20::/home/carl:/bin/bash\n";
  const std::string denied = "permission denied: the port belongs to group ";
  const std::string again = denied + "dialout, which your user joined after this login; log in again";
  const struct {
    uid_t user;
    gid_t port_group;
    std::vector<gid_t> session;
    std::string reason;
  } table[] = {
      // Not in the password file: whether the user joined cannot be told by name.
      {1004, 20, {1004}, denied + "dialout, which this login does not have; add your user to it if need be, then "
                                  "log in again"},
      {1004, 20, {1004, 20}, ""},
      {1001, 20, {1001}, again},         // listed in the group, which this login does not have
      {1002, 20, {1002, 5}, again},
      {1003, 20, {1003}, again},         // the user's own group in the password file
      {1001, 20, {1001, 20}, ""},        // has it: the group is not what refused
      {1001, 10, {1001}, denied + "uucp; add your user to it, then log in again"},
      {1001, 0, {1001}, ""},             // root's group is not one to join
      {1001, 77, {1001}, ""},            // no such group
  };
  for (const auto& row : table) {
    EXPECT_EQ(group_refusal_reason(groups, users, row.user, row.port_group, row.session), row.reason)
        << row.user << " " << row.port_group;
  }
  EXPECT_EQ(group_refusal_reason("dialout:x:20:ann", "ann::1001:1001::/:/bin/sh", 1001, 20, {}), again)
      << "an empty password field";
}

// The system's side on a real port: its group from the group file given, the name of
// the lock file holder that the open found from /proc.
TEST(OpenRefusal, ReadsTheGivenFilesForThePort) {
  testing_support::SerialLine line;
  const char* port = line.device_path().c_str();
  if (chown(port, static_cast<uid_t>(-1), 4242) != 0 || chmod(port, 0660) != 0) {
    GTEST_SKIP() << "no right to give the port another group";
  }
  const testing_support::TempDirectory files;
  const std::string group = files.write_file("group", "instruments:x:4242:\n");
  const std::string passwd = files.write_file("passwd", "");
  const pid_t holder = getppid();  // not this process: it holds no port yet
  const RefusalSources sources{
      .lock_file_holder = holder, .group_file = group.c_str(), .passwd_file = passwd.c_str()};
  std::string self;
  std::getline(std::ifstream("/proc/" + std::to_string(holder) + "/comm"), self);

  EXPECT_EQ(open_refusal_reason(port, EACCES, sources),
            "permission denied: the port belongs to group instruments, which this login does not have; add your "
            "user to it if need be, then log in again");
  EXPECT_EQ(open_refusal_reason(port, EBUSY, sources), "in use by " + self + ", pid " + std::to_string(holder));
  EXPECT_EQ(open_refusal_reason(port, ENOENT, sources), "");
}

}  // namespace
}  // namespace vornset
