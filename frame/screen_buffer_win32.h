#pragma once

#include <windows.h>

#include "frame/screen_buffer.h"

namespace vornset {

// A Windows console screen buffer, written cell by cell. Writing cells interprets
// nothing, so no text is ever executed as a control code.
class ConsoleScreenBuffer final : public ScreenBuffer {
 public:
  ConsoleScreenBuffer() = default;
  explicit ConsoleScreenBuffer(HANDLE handle) : handle_(handle) {}

  bool read_geometry(ScreenGeometry& geometry) override;
  void write_cells(int x, int y, std::span<const Cell> cells) override;
  void scroll_up_one_row(const ScreenGeometry& geometry, Cell fill) override;
  void set_cursor(int x, int y) override;

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace vornset
