#include "serial/timed_call_posix.h"

#include <sys/time.h>

#include <csignal>

namespace vornset {

namespace {

// The signal's only work is to end the wait it interrupts.
extern "C" void on_time_up(int) {}

constinit bool handler_installed = false;

// Without SA_RESTART the interrupted call returns EINTR rather than waiting again.
bool install_handler() {
  if (handler_installed) return true;
  struct sigaction action {};
  action.sa_handler = on_time_up;
  sigemptyset(&action.sa_mask);
  handler_installed = ::sigaction(SIGALRM, &action, nullptr) == 0;
  return handler_installed;
}

// The signal mask is inherited across exec: a SIGALRM that the parent blocked would stay
// pending and leave the wait without a bound, so it is let through for every call.
bool let_the_signal_through() {
  sigset_t alarm;
  sigemptyset(&alarm);
  sigaddset(&alarm, SIGALRM);
  return ::sigprocmask(SIG_UNBLOCK, &alarm, nullptr) == 0;
}

}  // namespace

CallOutcome call_within(std::uint32_t milliseconds, int (*call)(int), int fd) {
  CallOutcome outcome;
  if (!install_handler() || !let_the_signal_through()) {
    return {static_cast<std::uint32_t>(errno), error_number_for_errno(errno)};
  }
  // The signal repeats every 10 ms after the first: one that arrives before the call has
  // begun to wait interrupts nothing, and the next one ends the wait. A zero time is the
  // shortest the timer has, as a zero value would disarm it.
  itimerval limit{};
  limit.it_value.tv_sec = static_cast<time_t>(milliseconds / 1000);
  limit.it_value.tv_usec = static_cast<suseconds_t>(milliseconds % 1000 * 1000);
  if (milliseconds == 0) limit.it_value.tv_usec = 1;
  limit.it_interval.tv_usec = 10'000;  // 10 ms
  if (::setitimer(ITIMER_REAL, &limit, nullptr) != 0) {
    return {static_cast<std::uint32_t>(errno), error_number_for_errno(errno)};
  }
  const int result = guarded_call([&] { return call(fd); }, outcome);
  const itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  if (result != -1) return {};
  return outcome.failed() ? outcome : CallOutcome{static_cast<std::uint32_t>(EIO), error_number_for_errno(EIO)};
}

}  // namespace vornset
