#include "frame/terminal_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <span>
#include <string_view>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "frame/terminal_glyph.h"

namespace vornset {
namespace {

// Back to the terminal's normal colours (attribute 7), whatever was set before.
constexpr std::string_view kColourReset = "\x1b[0m";
static_assert(kColourReset.size() <= 4, "the block holds a reset and a full run");
// Our own line end, so that the layout does not depend on the terminal's output
// processing (ONLCR). At the right edge the terminal's wrap is put off until the next
// character, as terminals since the VT100 do; a "\r" then goes back to the start of the
// full row, so a line end there moves one row down, as a wrap would have.
constexpr std::string_view kLineEnd = "\r\n";

int terminal_width(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return TerminalScreen::kDefaultWidth;
  return size.ws_col;
}

// A failed write drops the rest, since console output is best effort.
void write_all(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(fd, data, size);
    if (written > 0) {
      data += written;
      size -= static_cast<std::size_t>(written);
    } else if (written < 0 && errno == EINTR) {
      continue;
    } else if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Someone made the terminal non-blocking; wait for room rather than spin.
      pollfd ready{fd, POLLOUT, 0};
      if (::poll(&ready, 1, -1) < 0 && errno != EINTR) return;
    } else {
      return;
    }
  }
}

// Printable ASCII, nearly all the program prints, is its own glyph.
bool is_printable_ascii(CellChar character) { return character >= 0x20 && character < 0x7F; }

}  // namespace

bool terminal_takes_escapes(const char* term) {
  return term != nullptr && *term != '\0' && std::string_view(term) != "dumb";
}

TerminalScreen::TerminalScreen(int fd, bool escapes) { attach(fd, escapes); }

void TerminalScreen::attach(int fd, bool escapes) {
  fd_ = fd;
  width_ = terminal_width(fd);
  escapes_ = escapes;
  column_ = 0;
  row_ = 0;
  at_right_edge_ = false;
  held_ = 0;
}

inline void TerminalScreen::append(std::string_view bytes) {
  if (bytes.size() <= sizeof block_ - held_) {  // a short constant becomes a single store
    std::memcpy(block_ + held_, bytes.data(), bytes.size());
    held_ += bytes.size();
    return;
  }
  append_in_parts(bytes);
}

void TerminalScreen::append_in_parts(std::string_view bytes) {
  while (!bytes.empty()) {
    if (held_ == sizeof block_) flush();
    const std::size_t part = std::min(bytes.size(), sizeof block_ - held_);
    std::memcpy(block_ + held_, bytes.data(), part);
    held_ += part;
    bytes.remove_prefix(part);
  }
}

void TerminalScreen::put(char byte) {
  if (held_ == sizeof block_) flush();
  block_[held_++] = byte;
}

// Copies the leading cells that are printable ASCII, as many as the block has room for;
// gives how many.
std::size_t TerminalScreen::put_printable(std::span<const Cell> cells) {
  const std::size_t room = std::min(cells.size(), sizeof block_ - held_);
  std::size_t count = 0;
  while (count < room && is_printable_ascii(cells[count].character)) {
    block_[held_ + count] = static_cast<char>(cells[count].character);
    ++count;
  }
  held_ += count;
  return count;
}

void TerminalScreen::flush() {
  if (fd_ >= 0) write_all(fd_, block_, held_);
  held_ = 0;
}

bool TerminalScreen::read_geometry(ScreenGeometry& geometry) {
  if (fd_ < 0) return false;
  geometry = {width_, kUnboundedHeight, column_, row_};
  return true;
}

void TerminalScreen::write_cells(int x, int y, std::span<const Cell> cells) {
  if (fd_ < 0) return;
  // Text that goes on where the terminal's own wrap puts it is the same line to the
  // terminal, under the reset that started it.
  const bool wrapped_on = at_right_edge_ && x == 0 && y == row_;
  const bool line_ended = move_to(x, y);
  at_right_edge_ = false;
  // Every cell is in attribute 7; the reset makes the terminal show it so.
  if (escapes_ && !wrapped_on) append(kColourReset);
  std::size_t done = 0;
  while (done < cells.size()) {
    done += put_printable(cells.subspan(done));
    if (done == cells.size()) break;
    const CellChar character = cells[done].character;
    if (is_printable_ascii(character)) {
      flush();  // the block is full
      continue;
    }
    char glyph[kMaxGlyphBytes];
    append({glyph, encode_glyph(character, glyph)});
    ++done;
  }
  column_ += static_cast<int>(cells.size());
  if (column_ == width_) {
    // No line end of our own: the terminal wraps when more text comes, and a line end
    // from here leaves the row as it is, so the line stays one line to the terminal.
    column_ = 0;
    ++row_;
    at_right_edge_ = true;
  }
  // A line that ended goes out at once: what follows may be a wait or the end of the run.
  if (line_ended) flush();
}

// Reached only on the last of INT_MAX rows; a terminal scrolls by itself long before.
void TerminalScreen::scroll_up_one_row(const ScreenGeometry&, Cell) {}

void TerminalScreen::set_cursor(int x, int y) {
  // Most moves are to where the last run of cells ended: nothing to send.
  if (fd_ < 0 || (x == column_ && y == row_)) return;
  send_move(x, y);
}

// Out of line, so that the common call above, which sends nothing, stays small.
[[gnu::noinline]] void TerminalScreen::send_move(int x, int y) {
  if (move_to(x, y)) flush();
}

// Gives whether it sent a line end.
bool TerminalScreen::move_to(int x, int y) {
  bool line_ended = false;
  if (y > row_) {
    // From the right edge, a first line end brings the terminal to the row it would
    // have wrapped to; a full row is thus followed by an empty one, as a line end in the
    // middle of the buffer leaves it.
    if (at_right_edge_) append(kLineEnd);
    at_right_edge_ = false;
    for (; row_ < y; ++row_) append(kLineEnd);
    column_ = 0;
    line_ended = true;
  }
  if (y == row_ && x > column_) {
    // Blank cells up to the new column, in attribute 7 like every cell.
    at_right_edge_ = false;
    if (escapes_) append(kColourReset);
    for (; column_ < x; ++column_) put(' ');
  }
  return line_ended;
}

}  // namespace vornset
