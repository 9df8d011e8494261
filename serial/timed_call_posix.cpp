#include "serial/timed_call_posix.h"

#include <sys/time.h>

#include <cerrno>
#include <chrono>
#include <csignal>

namespace vornset {

namespace {

using Clock = std::chrono::steady_clock;

// The signal's only work is to end the wait it interrupts.
extern "C" void on_time_up(int) {}

// The handler the process had before the first bounded wait, while ours is in its place.
constinit struct sigaction found_action {};
constinit bool handler_installed = false;

CallOutcome failure_of_errno() { return {static_cast<std::uint32_t>(errno), error_number_for_errno(errno)}; }

// The signal mask is inherited across exec: a SIGALRM that the parent blocked would stay
// pending and leave the wait without a bound, so it is let through. Nothing in the
// program blocks it again, so once is enough.
constinit bool signal_let_through = false;

bool let_the_signal_through() {
  if (signal_let_through) return true;
  sigset_t alarm;
  sigemptyset(&alarm);
  sigaddset(&alarm, SIGALRM);
  signal_let_through = ::sigprocmask(SIG_UNBLOCK, &alarm, nullptr) == 0;
  return signal_let_through;
}

// Without SA_RESTART the interrupted call returns EINTR rather than waiting again.
bool install_handler() {
  if (handler_installed) return true;
  struct sigaction action {};
  action.sa_handler = on_time_up;
  sigemptyset(&action.sa_mask);
  handler_installed = ::sigaction(SIGALRM, &action, &found_action) == 0;
  return handler_installed;
}

bool armed(const itimerval& timer) { return timer.it_value.tv_sec != 0 || timer.it_value.tv_usec != 0; }

// Puts back what the process had before the call: a timer it inherited (a parent's
// alarm() watchdog) goes on with the time it had left, and the handler found before
// comes back first, so that the watchdog's signal finds it. A process that had neither
// keeps our handler for the next bounded wait, which spares it two system calls a wait.
void put_back(const itimerval& found, Clock::duration spent) {
  const itimerval off{};
  ::setitimer(ITIMER_REAL, &off, nullptr);
  if (!armed(found) && found_action.sa_handler == SIG_DFL) return;
  ::sigaction(SIGALRM, &found_action, nullptr);
  handler_installed = false;
  if (!armed(found)) return;
  const auto had = std::chrono::seconds(found.it_value.tv_sec) + std::chrono::microseconds(found.it_value.tv_usec);
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(had - spent);
  if (left.count() <= 0) left = std::chrono::microseconds(1);  // its time passed during ours: due now
  itimerval back = found;
  back.it_value.tv_sec = static_cast<time_t>(left.count() / 1'000'000);
  back.it_value.tv_usec = static_cast<suseconds_t>(left.count() % 1'000'000);
  ::setitimer(ITIMER_REAL, &back, nullptr);
}

}  // namespace

CallOutcome call_within(std::uint32_t milliseconds, int (*call)(void*), void* context) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  std::uint32_t left = milliseconds;
  for (;;) {
    if (!install_handler() || !let_the_signal_through()) return failure_of_errno();
    // The signal repeats every 10 ms after the first: one that arrives before the call has
    // begun to wait interrupts nothing, and the next one ends the wait. A zero time is the
    // shortest the timer has, as a zero value would disarm it.
    itimerval limit{};
    limit.it_value.tv_sec = static_cast<time_t>(left / 1000);
    limit.it_value.tv_usec = static_cast<suseconds_t>(left % 1000 * 1000);
    if (left == 0) limit.it_value.tv_usec = 1;
    limit.it_interval.tv_usec = 10'000;  // 10 ms
    itimerval found{};
    const Clock::time_point start = Clock::now();
    if (::setitimer(ITIMER_REAL, &limit, &found) != 0) return failure_of_errno();
    CallOutcome outcome;
    const int result = guarded_call([&] { return call(context); }, outcome);
    const Clock::time_point now = Clock::now();
    put_back(found, now - start);
    if (result != -1) return {};
    if (!outcome.failed()) return {static_cast<std::uint32_t>(EIO), error_number_for_errno(EIO)};
    // Only the deadline ends the wait: a stop and continue (Ctrl+Z, then fg) ends some
    // waits with EINTR as the timer does, and the wait goes on for the time that is left.
    if (outcome.system_code != EINTR || now >= deadline) return outcome;
    left = static_cast<std::uint32_t>(std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
  }
}

CallOutcome call_within(std::uint32_t milliseconds, int (*call)(int), int fd) {
  struct OnDescriptor {
    int (*call)(int);
    int fd;
  } on_descriptor{call, fd};
  return call_within(milliseconds, [](void* context) {
    const auto* bound = static_cast<const OnDescriptor*>(context);
    return bound->call(bound->fd);
  }, &on_descriptor);
}

CallOutcome open_within(std::uint32_t milliseconds, int (*open_call)(const char*), const char* path, int& fd) {
  struct Opening {
    int (*open_call)(const char*);
    const char* path;
    int fd;
  } opening{open_call, path, -1};
  const CallOutcome outcome = call_within(milliseconds, [](void* context) {
    auto* to_open = static_cast<Opening*>(context);
    to_open->fd = to_open->open_call(to_open->path);
    return to_open->fd;
  }, &opening);
  fd = opening.fd;
  if (outcome.system_code == EINTR) return {static_cast<std::uint32_t>(EBUSY), error_number_for_errno(EBUSY)};
  return outcome;
}

}  // namespace vornset
