#include "serial/timed_call_posix.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <chrono>
#include <string>
#include <thread>

#include "serial/failure_reason.h"

namespace vornset {
namespace {

int read_one_byte(int fd) {
  char byte = 0;
  return static_cast<int>(::read(fd, &byte, 1));
}

int open_for_reading(const char* path) { return ::open(path, O_RDONLY | O_CLOEXEC); }

// A read from a pipe waits in the kernel as tcdrain and a terminal's close do; the open
// of a FIFO that no program writes as a terminal's open behind another program's close.
TEST(TimedCall, AWaitInTheKernelEndsWhenTheTimeIsUp) {
  const struct {
    int byte_after_ms;  // -1: never; for an open, when a writer opens the FIFO
    std::uint32_t limit_ms;
    bool ends_by_itself;
    bool port_open = false;  // the wait is the port's bounded open
  } table[] = {
      {-1, 0, false},  // the signal may come before the wait begins: the next one ends it
      {-1, 150, false},
      {50, 2000, true},
      {-1, 150, false, true},  // told as the port in use
      {50, 2000, true, true},
  };
  for (const auto& row : table) {
    SCOPED_TRACE("byte after " + std::to_string(row.byte_after_ms) + " ms, limit " +
                 std::to_string(row.limit_ms) + (row.port_open ? ", an open" : ""));
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    const std::string fifo = "/tmp/timed-open-" + std::to_string(getpid());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
      if (row.byte_after_ms < 0) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(row.byte_after_ms));
      if (row.port_open) {
        EXPECT_EQ(::close(::open(fifo.c_str(), O_RDWR | O_CLOEXEC)), 0);  // O_RDWR never waits
        return;
      }
      EXPECT_EQ(::write(ends[1], "x", 1), 1);
    });
    const auto start = std::chrono::steady_clock::now();
    int opened = -1;
    const CallOutcome outcome = row.port_open ? open_within(row.limit_ms, open_for_reading, fifo.c_str(), opened)
                                              : call_within(row.limit_ms, read_one_byte, ends[0]);
    const auto waited = std::chrono::steady_clock::now() - start;
    writer.join();
    if (opened >= 0) ::close(opened);
    ::unlink(fifo.c_str());
    if (row.ends_by_itself) {
      EXPECT_FALSE(outcome.failed());
      EXPECT_GE(waited, std::chrono::milliseconds(row.byte_after_ms));
    } else if (row.port_open) {
      EXPECT_EQ(outcome.system_code, static_cast<std::uint32_t>(EBUSY));
      EXPECT_EQ(serial_failure_reason(outcome.system_code), "in use by another program");
      EXPECT_GE(waited, std::chrono::milliseconds(row.limit_ms));
    } else {
      EXPECT_EQ(outcome.system_code, static_cast<std::uint32_t>(EINTR));
      EXPECT_GE(waited, std::chrono::milliseconds(row.limit_ms));
    }
    EXPECT_LT(waited, std::chrono::milliseconds(row.limit_ms + 500));
    // The timer is off again: no later call of the run is interrupted.
    itimerval left{};
    ASSERT_EQ(getitimer(ITIMER_REAL, &left), 0);
    EXPECT_EQ(left.it_value.tv_sec, 0);
    EXPECT_EQ(left.it_value.tv_usec, 0);
    ::close(ends[0]);
    ::close(ends[1]);
  }
}

// A parent may leave the signal blocked, and the mask outlives exec. The signal is let
// through once a process, so the first bounded wait is looked at in a process of its own.
TEST(TimedCall, ASignalThatTheParentBlockedStillEndsTheWait) {
#ifdef VORNSET_TESTS_EMULATED
  GTEST_SKIP() << "the test program cannot execute itself again under the emulator";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        sigset_t alarm;
        sigemptyset(&alarm);
        sigaddset(&alarm, SIGALRM);
        int ends[2];
        if (sigprocmask(SIG_BLOCK, &alarm, nullptr) != 0 || pipe(ends) != 0) std::_Exit(2);
        // A byte after a second ends a wait that the signal did not end.
        std::thread writer([&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(1000));
          (void)!::write(ends[1], "x", 1);
        });
        writer.detach();
        const auto start = std::chrono::steady_clock::now();
        const CallOutcome outcome = call_within(150, read_one_byte, ends[0]);
        const auto waited = std::chrono::steady_clock::now() - start;
        std::_Exit(outcome.system_code == EINTR && waited < std::chrono::milliseconds(650) ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

volatile std::sig_atomic_t watchdog_fired = 0;
extern "C" void on_watchdog(int) { watchdog_fired = 1; }

// A parent's alarm() watchdog: its timer goes on with the time it had left once the
// bounded wait is over, and its handler is SIGALRM's again, so that it still fires.
TEST(TimedCall, AnInheritedTimerAndItsHandlerArePutBack) {
  int ends[2];
  ASSERT_EQ(pipe(ends), 0);
  struct sigaction watchdog {};
  watchdog.sa_handler = on_watchdog;
  sigemptyset(&watchdog.sa_mask);
  struct sigaction before {};
  ASSERT_EQ(sigaction(SIGALRM, &watchdog, &before), 0);
  // Twice: the first call may find the handler of an earlier bounded wait of this process.
  for (int round = 0; round < 2; ++round) {
    watchdog_fired = 0;
    ASSERT_EQ(sigaction(SIGALRM, &watchdog, nullptr), 0);
    itimerval armed{};
    armed.it_value.tv_sec = 5;
    ASSERT_EQ(setitimer(ITIMER_REAL, &armed, nullptr), 0);
    EXPECT_EQ(call_within(100, read_one_byte, ends[0]).system_code, static_cast<std::uint32_t>(EINTR));
  }
  itimerval left{};
  ASSERT_EQ(getitimer(ITIMER_REAL, &left), 0);
  const long left_ms = static_cast<long>(left.it_value.tv_sec) * 1000 + left.it_value.tv_usec / 1000;
  EXPECT_GT(left_ms, 4000);
  EXPECT_LE(left_ms, 4900);
  struct sigaction now {};
  ASSERT_EQ(sigaction(SIGALRM, nullptr, &now), 0);
  EXPECT_EQ(now.sa_handler, on_watchdog);
  EXPECT_EQ(watchdog_fired, 0) << "the bounded wait's own signal reached the watchdog";
  const itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &before, nullptr);
  ::close(ends[0]);
  ::close(ends[1]);
}

}  // namespace
}  // namespace vornset
