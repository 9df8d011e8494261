#pragma once

namespace vornset {

// Per-thread storage of the run: one thread-local-storage slot and a zero-filled block.
// Returns false when the system has neither to give; the process must then end.
bool allocate_thread_block();
void release_thread_block();

}  // namespace vornset
