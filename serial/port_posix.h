#pragma once

#include <cstdint>

#include "frame/guarded_call.h"

namespace vornset {

// The time `bytes` take on the line of the port `fd`; 0 when the line cannot be read.
using LineTimeOf = std::uint32_t (*)(int fd, std::uint64_t bytes);

// The local port's wait for its bytes to leave (SerialPlatform::wait_until_sent) on the
// descriptor `fd`, after the run wrote `run_bytes` to it. A queue that still holds bytes
// 50 ms after the time the run's bytes take on the line is held, and its emptying is then
// no proof of bytes sent: a hang-up right after it says the device went away with them.
// The driver's own count is no measure of the run's bytes: cdc-acm counts whole USB
// buffers, kilobytes for a few bytes.
CallOutcome wait_until_sent_on(int fd, std::uint32_t milliseconds, std::uint64_t run_bytes,
                               LineTimeOf line_time_of);

}  // namespace vornset
