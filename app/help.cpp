#include "app/help.h"

#include "serial/port_list.h"
#include "text/command_text.h"

namespace vornset {

HelpRequest find_help_request(std::string_view typed_tail, const HelpConventions& conventions) {
  // Every request begins with '-' or '/': a run's tail is let through at the first byte.
  if (typed_tail.empty() || (typed_tail.front() != '-' && typed_tail.front() != '/')) return HelpRequest::none;
  if (typed_tail == "--help" || typed_tail == "-h") return HelpRequest::usage;
  if (conventions.slash_question && typed_tail == "/?") return HelpRequest::usage;
  if (typed_tail == "--version") return HelpRequest::version;
  if (typed_tail == "--ports") return HelpRequest::ports;
  return HelpRequest::none;
}

std::string usage_text(const HelpConventions& conventions) {
  const std::string name(conventions.program_name);
  std::string text = "Usage: " + name + " [FREQUENCY] [FREQ FREQUENCY] [VHF | HF | LF]\n";
  text += "       " + name + " --help | -h" + (conventions.slash_question ? " | /?" : "") +
          " | --version | --ports\n";
  text +=
      "Sets the instrument on the serial port named in VornSet.ini to a band and a\n"
      "frequency: prints them, then sends the commands.\n"
      "\n";
  text += "First run: " + name + " --ports lists this machine's serial ports, most useful\n";
  text +=
      "first, each with the settings line that selects it.\n"
      "\n"
      "  FREQUENCY       first on the line: in MHz (7.05), in Hz above 5000 (7050000)\n"
      "  FREQ FREQUENCY  the number behind FREQ, anywhere on the line (VHF FREQ 144)\n"
      "  VHF, HF, LF     the band when no frequency is given; HF when none is named\n"
      "A frequency decides the band: LF below 1.8 MHz, HF up to 54 MHz, VHF above.\n"
      "Keywords take any letter case.\n"
      "\n"
      "Settings file VornSet.ini; the first place that holds the name is used.\n"
      "  Linux:    1. the directory that holds the vornset program\n"
      "            2. the current directory\n"
      "            3. ${XDG_CONFIG_HOME:-$HOME/.config}/vornset\n"
      "            4. /etc/vornset\n"
      "            5. each directory of PATH, in order\n"
      "  Windows:  the folder of VornSet.exe, then the system's search order\n"
      "            (current folder, system folders, PATH)\n"
      "A line holding COM sets the port and a line holding BAUD the baud rate, in any\n"
      "letter case, to every character behind the key. Lines end at CR or CR LF.\n"
      "Without a key: port 1, 9600 baud. Example:\n"
      "  COM3\n"
      "  BAUD 19200\n"
      "Write COM3, not COM=3 or COM 3. When the port or its rate fails and the file\n"
      "shows such a mistake, the message names the settings file and the fix.\n"
      "DTR ON or DTR OFF, RTS ON or RTS OFF set the modem lines (a transmitter's\n"
      "push-to-talk on many interfaces); these keys count only at the start of a line,\n"
      "and any other line that starts with one fails the run before the port opens.\n"
      "Without them the lines stay as the port's driver has them.\n"
      "\n"
      "Devices on Linux: COMn is /dev/ttyS(n-1), so COM1 is /dev/ttyS0. A port that\n"
      "begins with / is a device path used as it stands: COM/dev/ttyUSB0 or\n"
      "COM/dev/serial/by-id/... The port is locked against other programs that lock\n"
      "the port (flock), as terminal programs do; a lock file of a running program\n"
      "(LCK..ttyUSB0 in /run/lock or /var/lock) keeps the port closed as well. A\n"
      "program that holds the port open without any lock is not seen.\n"
      "\n"
      "Network: COMrfc2217://HOST:PORT reaches a port behind a device server such as\n"
      "ser2net, which sets the line (the rate, 8N1); COMtcp://HOST:PORT sends over raw\n"
      "TCP and leaves the line as the server has it. HOST is a name, an IPv4 address\n"
      "or an IPv6 address in brackets. Sent means the server answered a question put\n"
      "after the commands (RFC 2217; over raw TCP: its system acknowledged every byte),\n"
      "and then the bytes' time on the line at the BAUD rate has passed.\n"
      "\n"
      "Exit codes:\n"
      "  0    the commands were sent (gone out, as far as the port's driver can tell)\n"
      "  1    not done as asked: settings file missing or unreadable, frequency out\n"
      "       of range, serial port failure; the failure line says what went out\n"
      "  255  fatal: the system refused what the program needs to run\n";
  return text;
}

std::string version_text(const HelpConventions& conventions) {
  return std::string(conventions.program_name) + " " VORNSET_VERSION "\n";
}

std::optional<ExitCode> answer_help_request() {
  const std::optional<std::string> tail = ascii_command_tail();
  if (!tail) return std::nullopt;
  bool written = false;
  switch (find_help_request(*tail, kPlatformHelpConventions)) {
    case HelpRequest::none: return std::nullopt;
    case HelpRequest::usage: written = write_standard_output(usage_text(kPlatformHelpConventions)); break;
    case HelpRequest::version: written = write_standard_output(version_text(kPlatformHelpConventions)); break;
    case HelpRequest::ports: written = write_standard_output(port_list_text(system_serial_ports())); break;
  }
  // A script that keeps the answer must not take a lost one for the whole text.
  return written ? ExitCode::sent : ExitCode::failed;
}

}  // namespace vornset
