// A stand-in for the instrument: a pseudo-terminal whose device side the program opens
// as its serial port. Prints each received command with the rate and format the line
// had when it came, and what it means; or the raw bytes.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "serial/command_decoder.h"
#include "serial/port_termios2_linux.h"

namespace {

struct Options {
  bool help = false;
  std::optional<long> count;
  std::optional<double> timeout_seconds;
  std::string settings_file;
  bool raw = false;
  bool background = false;
};

constexpr std::string_view usage =
    "usage: vornset-instrument-sim [--count N] [--timeout SECONDS] [--settings-file PATH] [--raw]\n"
    "                              [--background]\n"
    "Opens a pseudo-terminal, prints the settings line and the device path that name it,\n"
    "then prints each command received, with the rate and format the line had then\n"
    "(\"LP1;  19200 8N1  low-pass filter in\"), until N commands came or SECONDS passed.\n"
    "After the N-th command it waits, at most until SECONDS are up, for the program to\n"
    "close the port, so that the program's last write is never cut off.\n"
    "  --count N             stop after N commands (default: no limit)\n"
    "  --timeout SECONDS     stop after SECONDS (default: none, run until interrupted)\n"
    "  --settings-file PATH  write a settings file that names the line, at 9600 baud\n"
    "                        (default: none)\n"
    "  --raw                 print the bytes as received, not what they mean\n"
    "  --background          return once the line and the settings file are ready, and\n"
    "                        go on printing in the background\n"
    "  --help                print this and exit\n";

std::optional<Options> parse_options(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool has_value = i + 1 < argc;
    char* end = nullptr;
    if (arg == "--help") {
      options.help = true;
    } else if (arg == "--raw") {
      options.raw = true;
    } else if (arg == "--background") {
      options.background = true;
    } else if (arg == "--count" && has_value) {
      options.count = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || *options.count < 1) return std::nullopt;
    } else if (arg == "--timeout" && has_value) {
      options.timeout_seconds = std::strtod(argv[++i], &end);
      if (*end != '\0' || *options.timeout_seconds < 0) return std::nullopt;
    } else if (arg == "--settings-file" && has_value) {
      options.settings_file = argv[++i];
    } else {
      return std::nullopt;
    }
  }
  return options;
}

// The instrument side of a new pseudo-terminal, and the path of its device side. The
// device side is kept open here too, so the line does not hang up between clients.
struct Line {
  int instrument = -1;
  int device = -1;
  std::string path;
};

std::optional<Line> open_line() {
  Line line;
  line.instrument = posix_openpt(O_RDWR | O_NOCTTY);
  if (line.instrument < 0 || grantpt(line.instrument) != 0 || unlockpt(line.instrument) != 0) {
    return std::nullopt;
  }
  char name[256];
  if (ptsname_r(line.instrument, name, sizeof name) != 0) return std::nullopt;
  line.path = name;
  line.device = open(name, O_RDWR | O_NOCTTY);
  if (line.device < 0) return std::nullopt;
  // A real line carries bytes unchanged; so does a raw pseudo-terminal.
  termios settings{};
  if (tcgetattr(line.device, &settings) == 0) {
    cfmakeraw(&settings);
    tcsetattr(line.device, TCSANOW, &settings);
  }
  return line;
}

bool write_settings_file(const std::string& file, const std::string& device_path) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << "COM" << device_path << "\r\nBAUD 9600\r\n";
  return static_cast<bool>(out.flush());
}

// The rate from the B constant, for an emulator that does not pass termios2 on (qemu-user
// for the ARM packages' test); the rates of instruments, 0 for others.
std::uint32_t common_rate(const termios& settings) {
  constexpr std::pair<speed_t, std::uint32_t> rates[] = {{B1200, 1200},   {B2400, 2400},   {B4800, 4800},
                                                         {B9600, 9600},   {B19200, 19200}, {B38400, 38400},
                                                         {B57600, 57600}, {B115200, 115200}};
  for (const auto& [code, rate] : rates) {
    if (cfgetospeed(&settings) == code) return rate;
  }
  return 0;
}

// The rate and the format the program left the line at, as "19200 8N1".
std::string line_settings(int device) {
  termios settings{};
  if (tcgetattr(device, &settings) != 0) return "(line unknown)";
  std::uint32_t rate = 0;
  if (vornset::read_baud_rate(device, rate) != 0) rate = common_rate(settings);
  const tcflag_t size = settings.c_cflag & CSIZE;
  const char data_bits = size == CS5 ? '5' : size == CS6 ? '6' : size == CS7 ? '7' : '8';
  char parity = 'N';
  if ((settings.c_cflag & PARENB) != 0) {
    const bool odd = (settings.c_cflag & PARODD) != 0;
    if ((settings.c_cflag & CMSPAR) != 0) {
      parity = odd ? 'M' : 'S';
    } else {
      parity = odd ? 'O' : 'E';
    }
  }
  std::string text = std::to_string(rate);
  text += ' ';
  text += data_bits;
  text += parity;
  text += (settings.c_cflag & CSTOPB) != 0 ? '2' : '1';
  return text;
}

// "LP1;  19200 8N1  low-pass filter in": a BAUD mistake shows beside the command.
std::string command_line(const std::string& command, int device) {
  return vornset::escape_bytes(command) + "  " + line_settings(device) + "  " + vornset::describe_command(command);
}

}  // namespace

int main(int argc, char** argv) {
  const std::optional<Options> options = parse_options(argc, argv);
  if (!options) {
    std::cerr << usage;
    return 2;
  }
  if (options->help) {
    std::cout << usage;
    return std::cout.flush() ? 0 : 1;
  }
  const std::optional<Line> line = open_line();
  if (!line) {
    std::cerr << "vornset-instrument-sim: no pseudo-terminal to be had\n";
    return 1;
  }
  if (!options->settings_file.empty() && !write_settings_file(options->settings_file, line->path)) {
    std::cerr << "vornset-instrument-sim: cannot write " << options->settings_file << '\n';
    return 1;
  }
  std::cout << "COM" << line->path << '\n' << line->path << std::endl;
  // The shell goes on once the line can be opened: a command typed next finds it ready.
  if (options->background) {
    const pid_t child = fork();
    if (child < 0) {
      std::cerr << "vornset-instrument-sim: cannot go on in the background\n";
      return 1;
    }
    if (child > 0) return 0;
  }

  using Clock = std::chrono::steady_clock;
  std::optional<Clock::time_point> deadline;
  if (options->timeout_seconds) {
    deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                  std::chrono::duration<double>(*options->timeout_seconds));
  }
  // How long a poll may wait: -1 for ever, 0 once the time is up.
  const auto wait_ms = [&]() -> int {
    if (!deadline) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(left.count());
  };
  long commands = 0;
  std::string pending;
  while (!options->count || commands < *options->count) {
    const int wait = wait_ms();
    if (wait == 0) break;
    pollfd readable{line->instrument, POLLIN, 0};
    if (poll(&readable, 1, wait) <= 0) continue;
    char buffer[256];
    const ssize_t got = read(line->instrument, buffer, sizeof buffer);
    if (got <= 0) continue;
    // One read may hold several commands and end inside a later one: only the first N
    // count, and what follows the N-th is dropped as later bytes are, never reported as a
    // command cut short.
    std::size_t used = 0;
    while (used < static_cast<std::size_t>(got) && (!options->count || commands < *options->count)) {
      const char c = buffer[used++];
      pending += c;
      if (c != ';') continue;
      ++commands;
      if (!options->raw) std::cout << command_line(pending, line->device) << std::endl;
      pending.clear();
    }
    if (options->raw) std::cout.write(buffer, static_cast<std::streamsize>(used)).flush();
  }
  // Hanging up now would fail the program's wait for its last bytes with an I/O error.
  // The line hangs up once no device side is open: after this program's own is closed,
  // that is when the program has closed the port. Anything more it sends is dropped.
  close(line->device);
  for (int wait = wait_ms(); wait != 0; wait = wait_ms()) {
    pollfd closed{line->instrument, POLLIN, 0};
    if (poll(&closed, 1, wait) <= 0) continue;
    char buffer[256];
    if ((closed.revents & POLLHUP) != 0 || read(line->instrument, buffer, sizeof buffer) <= 0) break;
  }
  // Bytes without their ';' when the time ran out are a command cut short.
  if (!pending.empty() && !options->raw) std::cout << vornset::describe_command(pending) << std::endl;
  return options->count && commands < *options->count ? 1 : 0;
}
