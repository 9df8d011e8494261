#include "serial/lock_file_posix.h"

#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

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
    bool fifo = false;  // a FIFO by the lock file's name, its writer still there
  } table[] = {
      {&run_lock, "LCK..ttyUSB0", "      " + std::to_string(live) + "\n", live},
      {&var_lock, "LCK..ttyUSB0", binary_pid(live), live},
      {&run_lock, "LCK..ttyUSB0", "      " + std::to_string(gone) + "\n", 0},  // stale
      {&run_lock, "LCK..ttyUSB0", "garbage\n", 0},
      {&run_lock, "LCK..ttyUSB1", std::to_string(live), 0},  // another port's
      {&run_lock, "LCK..ttyUSB0", std::to_string(getpid()), 0},  // this process's own
      {&run_lock, "LCK..ttyUSB0", "", 0},
      // Never waited for: a read that waits would take what its writer says in the end.
      {&run_lock, "LCK..ttyUSB0", std::to_string(live) + "\n", 0, true},
  };
  for (const auto& row : table) {
    std::string file;
    int writer = -1;
    if (row.fifo) {
      file = row.directory->file(row.file);
      ASSERT_EQ(mkfifo(file.c_str(), 0644), 0);
      writer = open(file.c_str(), O_RDWR | O_NONBLOCK);
      ASSERT_EQ(write(writer, row.bytes.data(), row.bytes.size()), static_cast<ssize_t>(row.bytes.size()));
    } else {
      file = row.directory->write_file(row.file, row.bytes);
    }
    // The writer goes after a second at the latest, so a read that waits ends too.
    std::mutex mutex;
    std::condition_variable looked;
    bool done = false;
    std::thread closer([&] {
      std::unique_lock lock(mutex);
      looked.wait_for(lock, std::chrono::seconds(1), [&] { return done; });
      if (writer >= 0) close(writer);
    });
    const pid_t holder = lock_file_holder("/dev/ttyUSB0", directories);
    {
      const std::lock_guard lock(mutex);
      done = true;
    }
    looked.notify_one();
    closer.join();
    EXPECT_EQ(holder, row.holder) << file << ": " << row.bytes;
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

// A name that leads to the device through links: a udev alias, a link to a link, a folder
// that is a link. The lock file may carry the name as written, any link's on the way or
// the device's.
TEST(LockFile, FoundThroughEveryLinkOnTheWay) {
  testing_support::TempDirectory locks;
  testing_support::TempDirectory dev;
  const char* const directories[] = {locks.path().c_str()};
  const pid_t live = getppid();
  dev.write_file("ttyS0", "");
  ASSERT_EQ(symlink("ttyS0", dev.file("serial0").c_str()), 0);
  ASSERT_EQ(symlink("serial0", dev.file("radio").c_str()), 0);
  ASSERT_EQ(symlink(dev.path().c_str(), dev.file("folder").c_str()), 0);
  ASSERT_EQ(symlink("folder/radio", dev.file("deep").c_str()), 0);
  const struct {
    std::string opened;
    std::string lock_file;
  } table[] = {
      {dev.file("radio"), "LCK..ttyS0"},  // two levels down
      {dev.file("radio"), "LCK..serial0"},
      {dev.file("radio"), "LCK..radio"},
      {dev.file("deep"), "LCK..ttyS0"},  // through a folder link and two more levels
      {dev.file("deep"), "LCK..serial0"},
      {dev.path() + "/folder/ttyS0", "LCK..ttyS0"},
  };
  for (const auto& row : table) {
    const std::string file = locks.write_file(row.lock_file, std::to_string(live));
    EXPECT_EQ(lock_file_holder(row.opened.c_str(), directories), live) << row.opened << " " << row.lock_file;
    unlink(file.c_str());
    EXPECT_EQ(lock_file_holder(row.opened.c_str(), directories), 0) << row.opened;
  }
  // A lock file that is a link is not followed out of the lock directory.
  const std::string elsewhere = dev.write_file("pid", std::to_string(live));
  ASSERT_EQ(symlink(elsewhere.c_str(), locks.file("LCK..ttyS0").c_str()), 0);
  EXPECT_EQ(lock_file_holder(dev.file("radio").c_str(), directories), 0);
}

// udev's SYMLINK+="ttyRadio" makes /dev/ttyRadio, a link that looks like a device's name.
TEST(LockFile, FoundThroughAnAliasThatLooksLikeADevice) {
  testing_support::TempDirectory locks;
  const char* const directories[] = {locks.path().c_str()};
  const std::string alias = "/dev/ttyVornsetAlias" + std::to_string(getpid());
  if (symlink("ttyVornsetNoDevice0", alias.c_str()) != 0) GTEST_SKIP() << "no right to make a link in /dev";
  locks.write_file("LCK..ttyVornsetNoDevice0", std::to_string(getppid()));
  const pid_t holder = lock_file_holder(alias.c_str(), directories);
  unlink(alias.c_str());
  EXPECT_EQ(holder, getppid());
}

// Another user's process, which a signal from here may not reach (EPERM), holds its lock
// all the same, as a lock file of another user's terminal program does. The check runs in
// a child that has given up root, where the answer to kill is EPERM.
TEST(LockFile, AnotherUsersProcessIsAlive) {
  const pid_t parent = getpid();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
    _exit(process_alive(parent) && !process_alive(gone_pid()) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "2: could not become another user";
}

}  // namespace
}  // namespace vornset
