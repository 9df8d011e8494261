#pragma once

#include <cstdint>
#include <span>

namespace vornset {

// What one character cell holds. A Windows console cell carries one UTF-16 unit; a
// terminal cell shows one code point.
#ifdef _WIN32
using CellChar = wchar_t;
#else
using CellChar = char32_t;
#endif

// Foreground 7 on background 0: the console's normal grey on black. Every cell the
// program writes or clears gets it, whatever colours the console had before.
inline constexpr std::uint16_t kTextAttribute = 7;

struct Cell {
  CellChar character = ' ';
  std::uint16_t attribute = kTextAttribute;
};

// The size of the whole buffer (not just the visible window) and the cursor, 0-based.
struct ScreenGeometry {
  int width = 0;
  int height = 0;
  int cursor_x = 0;
  int cursor_y = 0;
};

// A cell-addressed screen: the few operations console output needs, so that the
// wrapping and scrolling logic is written once and tested against memory.
// Failures are not reported: console output is best effort.
class ScreenBuffer {
 public:
  // False when there is no screen to write to; the caller then drops its output.
  virtual bool read_geometry(ScreenGeometry& geometry) = 0;
  // Writes `cells` on row `y` from column `x`; the run never passes the right edge.
  virtual void write_cells(int x, int y, std::span<const Cell> cells) = 0;
  // Moves rows 1 to height - 1 up by one, losing row 0, and fills the bottom row with
  // `fill`. The cursor stays where it is.
  virtual void scroll_up_one_row(const ScreenGeometry& geometry, Cell fill) = 0;
  virtual void set_cursor(int x, int y) = 0;

 protected:
  ~ScreenBuffer() = default;
};

}  // namespace vornset
