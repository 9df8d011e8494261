#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "frame/screen_buffer.h"

namespace vornset {

// A console screen in memory for tests: rows of cells and a cursor. Every call is counted
// from 1, and any one of them can be made to fail as a console that went away fails: a
// geometry read then finds no screen, a write or cursor move is lost.
class FakeScreenBuffer final : public ScreenBuffer {
 public:
  explicit FakeScreenBuffer(int width = 80, int height = 25)
      : geometry_{width, height, 0, 0},
        cells_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)) {}

  void fail_call(std::size_t number) { failing_call_ = number; }
  std::size_t calls() const { return calls_; }

  bool read_geometry(ScreenGeometry& geometry) override {
    if (next_call_fails()) return false;
    geometry = geometry_;
    return true;
  }
  void write_cells(int x, int y, std::span<const Cell> cells) override {
    if (next_call_fails()) return;
    for (const Cell& cell : cells) at(x++, y) = cell;
  }
  void scroll_up_one_row(const ScreenGeometry&, Cell fill) override {
    if (next_call_fails()) return;
    const auto width = static_cast<std::size_t>(geometry_.width);
    cells_.erase(cells_.begin(), cells_.begin() + geometry_.width);
    cells_.resize(cells_.size() + width, fill);
  }
  void set_cursor(int x, int y) override {
    if (next_call_fails()) return;
    geometry_.cursor_x = x;
    geometry_.cursor_y = y;
  }

  // Every cell, row after row, so that a text wrapped at the right edge reads as one.
  // Characters beyond ASCII show as '?'.
  std::string text() const {
    std::string all;
    for (const Cell& cell : cells_) all += cell.character < 0x80 ? static_cast<char>(cell.character) : '?';
    return all;
  }

  // The rows that hold anything but blanks, as text, each without its trailing blanks.
  // Characters beyond ASCII show as '?'.
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    for (int y = 0; y < geometry_.height; ++y) {
      std::string row;
      for (int x = 0; x < geometry_.width; ++x) {
        const CellChar c = cells_[index(x, y)].character;
        row += c < 0x80 ? static_cast<char>(c) : '?';
      }
      row.erase(row.find_last_not_of(' ') + 1);
      if (!row.empty()) result.push_back(row);
    }
    return result;
  }

 private:
  bool next_call_fails() { return ++calls_ == failing_call_; }
  std::size_t index(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(geometry_.width) +
           static_cast<std::size_t>(x);
  }
  Cell& at(int x, int y) { return cells_[index(x, y)]; }

  ScreenGeometry geometry_;
  std::vector<Cell> cells_;
  std::size_t calls_ = 0;
  std::size_t failing_call_ = 0;
};

}  // namespace vornset
