#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frame/exit_code.h"

namespace vornset {

enum class HelpRequest { none, usage, version, ports };

// How help is asked for and named where the program runs.
struct HelpConventions {
  std::string_view program_name;  // as the user types it
  bool slash_question;            // '/?' asks for the usage too, as on Windows
};

// What a whole command line asks for, judged on the tail as typed: only exactly '--help',
// '-h', '--version' or '--ports' (or '/?' where the conventions take it) is a help request. Any
// other line, '--HELP' or '--help 7.05' among them, is a run.
HelpRequest find_help_request(std::string_view typed_tail, const HelpConventions& conventions);

// The usage: command-line forms, where the settings file is looked for and what it holds,
// which device a port names on Linux, and the exit codes. Lines end in LF and fit 80 columns.
std::string usage_text(const HelpConventions& conventions);

// The program's name and version on one line.
std::string version_text(const HelpConventions& conventions);

// When the process's command line is a help request, prints the answer to standard output
// (for '--ports' the list of this machine's serial ports) and gives the exit code, having
// opened no port and written no file: `failed` when standard
// output did not take all of it (closed, or a full disk). Otherwise gives nothing, at once.
std::optional<ExitCode> answer_help_request();

// Platform part.
extern const HelpConventions kPlatformHelpConventions;
// Writes `text` (lines ending in LF) to standard output, in the platform's line ends;
// false when a write failed, which ends the text there.
bool write_standard_output(std::string_view text);

}  // namespace vornset
