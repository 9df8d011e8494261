#include "frame/startup.h"

#include <csignal>

#include "frame/console_output.h"
#include "frame/exit_sequence.h"
#include "text/command_text.h"

namespace vornset {
namespace {

// Ctrl+C, Ctrl+\ and a closed terminal must not stop a run half way through its
// commands, nor cut the pause short.
void ignore_interrupt_signals() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int signal_number : {SIGINT, SIGQUIT, SIGHUP}) sigaction(signal_number, &ignore, nullptr);
}

}  // namespace

void start_process(int argc, char** argv, MainRoutine main_routine) {
  set_up_console(ignore_interrupt_signals);
  capture_command_line(argc, argv);
  end_the_run(main_routine());
}

}  // namespace vornset
