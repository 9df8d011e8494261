#include "frame/pause.h"

#include <windows.h>

namespace vornset {

// Console keys cannot cut it short: the control handler swallows Ctrl+C and Ctrl+Break.
void pause_milliseconds(unsigned milliseconds) { Sleep(milliseconds); }

}  // namespace vornset
