// Any console output on a terminal of any width: nothing reaches the terminal that could
// move its cursor, change its colours or ring its bell. The only control bytes are our
// own "\r\n" line ends and the colour reset "\x1b[0m"; the text is well-formed UTF-8
// without C1 controls; a row that reaches the right edge goes on by the terminal's own
// wrap; and the cursor position the screen keeps is where the bytes it wrote left a real
// terminal's cursor.
//
// Input: the width (0: unknown), then operations: 0 prints a text (a length byte and the
// bytes), 1 ends the line, 2 prints a number (eight bytes of a double), 3 writes cells
// (a count byte and four bytes per character, any 32-bit value).
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "frame/console_output.h"
#include "frame/terminal_posix.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"

namespace {

using namespace vornset;

// Never part of the screen's output, which holds no NUL: shows that all has arrived.
constexpr std::string_view kMarker{"\0\x7f\0", 3};
constexpr std::string_view kReset = "\x1b[0m";

// One pseudo-terminal for the whole run; its terminal side is raw, so the controller
// reads exactly the bytes that were written.
struct Pty {
  int controller = -1;
  int terminal = -1;
  Pty() {
    controller = posix_openpt(O_RDWR | O_NOCTTY);
    FUZZ_CHECK(controller >= 0 && grantpt(controller) == 0 && unlockpt(controller) == 0);
    terminal = open(ptsname(controller), O_RDWR | O_NOCTTY);
    FUZZ_CHECK(terminal >= 0);
    termios settings{};
    FUZZ_CHECK(tcgetattr(terminal, &settings) == 0);
    cfmakeraw(&settings);
    FUZZ_CHECK(tcsetattr(terminal, TCSANOW, &settings) == 0);
  }
};

Pty& pty() {
  static Pty instance;
  return instance;
}

// libFuzzer's timeout alarm interrupts system calls now and then; that is no finding.
std::string read_until_marker(int fd) {
  std::string bytes;
  pollfd ready{fd, POLLIN, 0};
  while (!bytes.ends_with(kMarker)) {
    const int events = poll(&ready, 1, 10000);
    if (events < 0 && errno == EINTR) continue;
    FUZZ_CHECK(events == 1);
    char block[4096];
    const ssize_t got = read(fd, block, sizeof block);
    if (got < 0 && errno == EINTR) continue;
    FUZZ_CHECK(got > 0);
    bytes.append(block, static_cast<std::size_t>(got));
  }
  bytes.resize(bytes.size() - kMarker.size());
  return bytes;
}

void write_marker(int fd) {
  std::string_view rest = kMarker;
  while (!rest.empty()) {
    const ssize_t written = write(fd, rest.data(), rest.size());
    if (written < 0 && errno == EINTR) continue;
    FUZZ_CHECK(written > 0);
    rest.remove_prefix(static_cast<std::size_t>(written));
  }
}

// Length of the well-formed UTF-8 sequence at the start of `bytes` and its code point;
// 0 when there is none.
std::size_t decode_utf8(std::string_view bytes, char32_t& code_point) {
  const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(bytes[i]); };
  const std::uint8_t lead = byte(0);
  std::size_t length = 0;
  if (lead < 0x80) {
    code_point = lead;
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code_point = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code_point = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code_point = lead & 0x07u;
  } else {
    return 0;
  }
  if (bytes.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0u) != 0x80u) return 0;
    code_point = (code_point << 6) | (byte(i) & 0x3Fu);
  }
  const char32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code_point < smallest[length] || code_point > 0x10FFFF) return 0;
  if (code_point >= 0xD800 && code_point <= 0xDFFF) return 0;
  return length;
}

// Replays `bytes` as a terminal would and checks each of them; gives the cursor. A
// terminal puts off its wrap at the right edge until the next character comes, and a
// "\r" there goes back to the start of the full row.
void check_stream(std::string_view bytes, int width, int& column, int& row) {
  column = 0;
  row = 0;
  while (!bytes.empty()) {
    if (bytes.starts_with(kReset)) {
      bytes.remove_prefix(kReset.size());
      continue;
    }
    if (bytes.starts_with("\r\n")) {
      bytes.remove_prefix(2);
      column = 0;
      ++row;
      continue;
    }
    char32_t code_point = 0;
    const std::size_t length = decode_utf8(bytes, code_point);
    FUZZ_CHECK(length > 0);
    FUZZ_CHECK(code_point >= 0x20 && code_point != 0x7F);
    FUZZ_CHECK(code_point < 0x80 || code_point > 0x9F);
    bytes.remove_prefix(length);
    if (column == width) {
      column = 0;
      ++row;
    }
    ++column;
  }
  // The wrap put off: the next character appears at the start of the next row.
  if (column == width) {
    column = 0;
    ++row;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Pty& terminal = pty();
  winsize window{};
  window.ws_row = 24;
  window.ws_col = data[0];
  FUZZ_CHECK(ioctl(terminal.controller, TIOCSWINSZ, &window) == 0);
  const int width = data[0] == 0 ? TerminalScreen::kDefaultWidth : data[0];

  std::string shown;
  std::thread reader_thread([&] { shown = read_until_marker(terminal.controller); });
  TerminalScreen screen(terminal.terminal);
  ConsoleOutput console(screen);

  Input input(data + 1, size - 1);
  while (!input.done()) {
    switch (input.byte() % 4) {
      case 0:
        console.print_text(input.bytes(input.byte()));
        break;
      case 1:
        console.end_line();
        break;
      case 2:
        console.print_number(input.value<double>());
        break;
      default: {
        std::vector<CellChar> characters(input.byte());
        for (CellChar& character : characters) character = static_cast<CellChar>(input.value<std::uint32_t>());
        console.write_cells(characters);
        break;
      }
    }
  }
  ScreenGeometry geometry;
  FUZZ_CHECK(screen.read_geometry(geometry));
  screen.flush();
  write_marker(terminal.terminal);
  reader_thread.join();

  int column = 0;
  int row = 0;
  check_stream(shown, width, column, row);
  FUZZ_CHECK(geometry.width == width);
  FUZZ_CHECK(geometry.cursor_x == column);
  FUZZ_CHECK(geometry.cursor_y == row);
  return 0;
}
