#include "frame/startup.h"

#include <windows.h>
#include <objbase.h>

#include "frame/console_output.h"
#include "frame/exit_sequence.h"
#include "frame/thread_block_win32.h"
#include "text/command_text.h"

namespace vornset {
namespace {

// Ctrl+C, Ctrl+Break and closing the console window must not stop a run half way
// through its commands, nor cut the pause short. Logoff and shutdown pass on.
BOOL WINAPI swallow_interrupt_keys(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT;
}

void install_control_handler() { SetConsoleCtrlHandler(swallow_interrupt_keys, TRUE); }

bool platform_is_nt_family() {
  OSVERSIONINFOA version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return true;  // a system too new to answer is no 9x
  return version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

void start_process(int argc, char** argv, MainRoutine main_routine) {
  if (!platform_is_nt_family()) {
    MessageBoxA(nullptr, "Win98 No Support", nullptr, MB_OK | MB_TASKMODAL | MB_SETFOREGROUND);
    end_process_now(ExitCode::fatal);
  }
  set_up_console(install_control_handler);
  capture_command_line(argc, argv);
  if (!allocate_thread_block()) end_process_now(ExitCode::fatal);
  (void)CoInitialize(nullptr);
  end_the_run(main_routine());
}

}  // namespace vornset
