#pragma once

namespace vornset {

// Waits the whole time, whatever signals or console keys arrive meanwhile.
void pause_milliseconds(unsigned milliseconds);

}  // namespace vornset
