#include "serial/lock_file_posix.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/support/temp_directory_posix.h"

namespace vornset {
namespace {

std::string binary_pid(int pid) {
  std::string bytes(sizeof pid, '\0');
  std::memcpy(bytes.data(), &pid, sizeof pid);
  return bytes;
}

TEST(LockFile, PidInTheBytesOfTodayAndOfOlderPrograms) {
  const struct {
    std::string bytes;
    pid_t pid;
  } table[] = {
      {"      1234\n", 1234},
      {"      1234 minicom ann\n", 1234},  // a terminal program's name and user behind it
      {"1234\n", 1234},
      {"1234", 1234},  // four ASCII digits read as digits, not as a binary int
      {binary_pid(4321), 4321},
      {binary_pid(-1), 0},
      {"", 0},
      {"\n", 0},
      {"12 34\n", 12},  // what follows a blank is the holder's own text
      {"1234x\n", 0},
      {"-1234\n", 0},
      {"99999999999\n", 0},  // past any pid
  };
  for (const auto& row : table) EXPECT_EQ(pid_in_lock_file(row.bytes), row.pid) << row.bytes;
}

// A pid that no process has: a child's, once it has been waited for.
pid_t gone_pid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

TEST(LockFile, OnlyALiveProcessHoldsThePort) {
  testing_support::TempDirectory run_lock;
  testing_support::TempDirectory var_lock;
  const char* const directories[] = {run_lock.path().c_str(), var_lock.path().c_str()};
  // Another process's: a stale lock file may name this one's by now.
  const pid_t live = getppid();
  const pid_t gone = gone_pid();
  const struct {
    const testing_support::TempDirectory* directory;
    std::string file;
    std::string bytes;
    pid_t holder;
  } table[] = {
      {&run_lock, "LCK..ttyUSB0", "      " + std::to_string(live) + "\n", live},
      {&var_lock, "LCK..ttyUSB0", binary_pid(live), live},
      {&run_lock, "LCK..ttyUSB0", "      " + std::to_string(gone) + "\n", 0},  // stale
      {&run_lock, "LCK..ttyUSB0", "garbage\n", 0},
      {&run_lock, "LCK..ttyUSB1", std::to_string(live), 0},  // another port's
      {&run_lock, "LCK..ttyUSB0", std::to_string(getpid()), 0},  // this process's own
      {&run_lock, "LCK..ttyUSB0", "", 0},
  };
  for (const auto& row : table) {
    const std::string file = row.directory->write_file(row.file, row.bytes);
    EXPECT_EQ(lock_file_holder("/dev/ttyUSB0", directories), row.holder) << file << ": " << row.bytes;
    EXPECT_EQ(access(file.c_str(), F_OK), 0) << "a lock file was removed";
    unlink(file.c_str());
  }
  EXPECT_EQ(lock_file_holder("/dev/", directories), 0);
  // A stable name is a link to the device, whose name the lock file carries.
  run_lock.write_file("LCK..ttyUSB0", std::to_string(live));
  const std::string by_id = run_lock.file("usb-Maker_Adapter_A1-if00-port0");
  ASSERT_EQ(symlink("../../ttyUSB0", by_id.c_str()), 0);
  EXPECT_EQ(lock_file_holder(by_id.c_str(), directories), live);
  // A link right under /dev, as serial0 on a Raspberry Pi, locked under either name.
  const std::string serial0 = run_lock.file("serial0");
  ASSERT_EQ(symlink("ttyUSB0", serial0.c_str()), 0);
  EXPECT_EQ(lock_file_holder(serial0.c_str(), directories), live);
  unlink(run_lock.file("LCK..ttyUSB0").c_str());
  var_lock.write_file("LCK..serial0", std::to_string(live));
  EXPECT_EQ(lock_file_holder(serial0.c_str(), directories), live);
}

}  // namespace
}  // namespace vornset
