#include "frame/pause.h"

#include <cerrno>
#include <ctime>

namespace vornset {

void pause_milliseconds(unsigned milliseconds) {
  // An absolute deadline on the monotonic clock: a signal that interrupts the sleep
  // cannot shorten the pause, and a clock change cannot stretch it.
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(milliseconds / 1000U);
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000U) * 1000000L;
  if (deadline.tv_nsec >= 1000000000L) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000L;
  }
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

}  // namespace vornset
