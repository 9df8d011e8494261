#pragma once

#include <climits>
#include <cstddef>

#include "frame/screen_buffer.h"

namespace vornset {

// A terminal as a screen. A terminal is a character stream, so the cells go out as
// UTF-8 text and a move to a later row as "\r\n" line ends of our own; the height is
// unbounded because the terminal scrolls itself when a line end reaches its bottom.
// The stream only goes forward: a move back is not shown.
class TerminalScreen final : public ScreenBuffer {
 public:
  // Writes nowhere: every read of the geometry fails, so all output is dropped.
  TerminalScreen() = default;
  // Writes to `fd` from column 0, wrapping at the terminal's width (80 when unknown).
  explicit TerminalScreen(int fd);

  bool read_geometry(ScreenGeometry& geometry) override;
  void write_cells(int x, int y, std::span<const Cell> cells) override;
  void scroll_up_one_row(const ScreenGeometry& geometry, Cell fill) override;
  void set_cursor(int x, int y) override;

  static constexpr int kDefaultWidth = 80;
  static constexpr int kUnboundedHeight = INT_MAX;

 private:
  class Output;
  void move_to(int x, int y, Output& output);
  void send_move(int x, int y);

  int fd_ = -1;
  int width_ = kDefaultWidth;
  // Where the next character appears: the stream's position is the cursor.
  int column_ = 0;
  int row_ = 0;
};

}  // namespace vornset
