#pragma once

#include <cstdint>

#include "frame/guarded_call.h"

namespace vornset {

// Runs `call(context)` with a timer armed: a call that waits interruptibly in the kernel
// (tcdrain, the close of a terminal that still holds bytes, an open behind another
// program's close of the same terminal) fails with EINTR once `milliseconds` have
// passed, instead of waiting as long as the kernel would. The terminal layer has no time
// limit of its own for these waits. An EINTR before the time
// (a stop and continue) calls it again for the time left. A timer and a handler of
// SIGALRM that the process had are put back after each call.
CallOutcome call_within(std::uint32_t milliseconds, int (*call)(void*), void* context);
CallOutcome call_within(std::uint32_t milliseconds, int (*call)(int), int fd);

}  // namespace vornset
