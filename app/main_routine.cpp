#include <optional>
#include <string>

#include "app/help.h"
#include "app/run_sequence.h"
#include "frame/console_output.h"
#include "frame/error_state.h"
#include "frame/failure_log.h"
#include "frame/file_table.h"
#include "frame/pause.h"
#include "serial/serial_platform.h"
#include "settings/settings_platform.h"
#include "text/command_text.h"

namespace vornset {

ExitCode main_routine() {
  // A help request is answered before anything of a run happens: no file, no port.
  if (const std::optional<ExitCode> answered = answer_help_request()) return *answered;
  ErrorState errors;
  FileTable files;
  RunEnvironment environment{process_console(),       system_settings_platform(),
                             system_serial_platform(), pause_milliseconds,
                             log_failure_line,         errors,
                             files};
  const std::string command_text = take_command_text();
  return run_sequence(command_text, environment);
}

}  // namespace vornset
