#include "frame/exit_sequence.h"

#include <windows.h>
#include <objbase.h>

#include "frame/console_output.h"
#include "frame/thread_block_win32.h"
#include "serial/serial_platform.h"
#include "settings/settings_platform.h"

namespace vornset {

// The serial port stays open: the system releases it as the process ends, after the
// driver has sent what it holds.
void end_the_run(ExitCode code) {
  release_console();
  release_serial_port();
  release_settings_search();
  release_thread_block();
  CoUninitialize();
  ExitProcess(static_cast<UINT>(code));
}

void end_process_now(ExitCode code) { ExitProcess(static_cast<UINT>(code)); }

}  // namespace vornset
