#pragma once

#include <climits>
#include <cstddef>
#include <span>
#include <string_view>

#include "frame/screen_buffer.h"
#include "frame/terminal_glyph.h"

namespace vornset {

// A terminal as a screen. A terminal is a character stream, so the cells go out as
// UTF-8 text and a move to a later row as "\r\n" line ends of our own; the height is
// unbounded because the terminal scrolls itself when a line end reaches its bottom.
// Text that reaches the right edge is left to the terminal to wrap, so that a long line
// is one line to it and copies whole. The stream only goes forward: a move back is not
// shown. Output is held until its line ends, so that a line goes out in one write;
// flush() sends the start of a line.
class TerminalScreen final : public ScreenBuffer {
 public:
  // Writes nowhere: every read of the geometry fails, so all output is dropped.
  TerminalScreen() = default;
  // Writes to `fd` from column 0, wrapping at the terminal's width (80 when unknown).
  // A terminal that takes no escape sequences (`escapes` false) gets none.
  explicit TerminalScreen(int fd, bool escapes = true);
  // As the constructor does, for a screen that exists already.
  void attach(int fd, bool escapes = true);

  bool read_geometry(ScreenGeometry& geometry) override;
  void write_cells(int x, int y, std::span<const Cell> cells) override;
  void scroll_up_one_row(const ScreenGeometry& geometry, Cell fill) override;
  void set_cursor(int x, int y) override;

  // Sends what is held back: the part of a line that has not ended yet.
  void flush();

  static constexpr int kDefaultWidth = 80;
  static constexpr int kUnboundedHeight = INT_MAX;

 private:
  bool move_to(int x, int y);
  void send_move(int x, int y);
  void append(std::string_view bytes);
  void append_in_parts(std::string_view bytes);
  void put(char byte);
  std::size_t put_printable(std::span<const Cell> cells);

  int fd_ = -1;
  int width_ = kDefaultWidth;
  bool escapes_ = true;
  // Where the next character appears: the stream's position is the cursor.
  int column_ = 0;
  int row_ = 0;
  // The last row was filled to the right edge and nothing has followed: the terminal's
  // cursor still stands at the end of that row, and its own wrap moves it to column 0
  // of row_ when the next character comes.
  bool at_right_edge_ = false;
  // Bytes taken but not yet sent: room for a full run, the colour reset and 256 cells
  // of at most 4 bytes each.
  std::size_t held_ = 0;
  char block_[4 + 256 * kMaxGlyphBytes]{};
};

// Whether a terminal of the type `term` (the TERM variable, null when unset) takes escape
// sequences: every type but "dumb" and none at all does.
bool terminal_takes_escapes(const char* term);

}  // namespace vornset
