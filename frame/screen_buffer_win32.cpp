#include "frame/screen_buffer_win32.h"

#include <algorithm>

namespace vornset {
namespace {

// Console coordinates are 16-bit; a buffer is never larger than that.
SHORT coordinate(int value) { return static_cast<SHORT>(value); }

CHAR_INFO char_info(Cell cell) {
  CHAR_INFO info{};
  info.Char.UnicodeChar = cell.character;
  info.Attributes = cell.attribute;
  return info;
}

}  // namespace

bool ConsoleScreenBuffer::read_geometry(ScreenGeometry& geometry) {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!GetConsoleScreenBufferInfo(handle_, &info)) return false;
  geometry = {info.dwSize.X, info.dwSize.Y, info.dwCursorPosition.X, info.dwCursorPosition.Y};
  return true;
}

void ConsoleScreenBuffer::write_cells(int x, int y, std::span<const Cell> cells) {
  CHAR_INFO block[256];
  const std::size_t length = std::min(cells.size(), std::size(block));
  std::transform(cells.begin(), cells.begin() + static_cast<std::ptrdiff_t>(length), block,
                 char_info);
  const int last = x + static_cast<int>(length) - 1;
  SMALL_RECT target{coordinate(x), coordinate(y), coordinate(last), coordinate(y)};
  WriteConsoleOutputW(handle_, block, COORD{coordinate(static_cast<int>(length)), 1}, COORD{0, 0},
                      &target);
}

void ConsoleScreenBuffer::scroll_up_one_row(const ScreenGeometry& geometry, Cell fill) {
  const SMALL_RECT source{0, 1, coordinate(geometry.width - 1), coordinate(geometry.height - 1)};
  const CHAR_INFO fill_cell = char_info(fill);
  ScrollConsoleScreenBufferW(handle_, &source, nullptr, COORD{0, 0}, &fill_cell);
}

void ConsoleScreenBuffer::set_cursor(int x, int y) {
  SetConsoleCursorPosition(handle_, COORD{coordinate(x), coordinate(y)});
}

}  // namespace vornset
