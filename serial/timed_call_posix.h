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

// Opens a port's device with `open_call(path)` within `milliseconds`, giving its
// descriptor in `fd`. An open that waits so long waits behind another program's close of
// the same terminal, in the kernel's closing wait for the bytes that program left (30 s):
// it is cut short and fails as the port in use (EBUSY), since the other program still
// has it.
CallOutcome open_within(std::uint32_t milliseconds, int (*open_call)(const char*), const char* path, int& fd);

}  // namespace vornset
