#include "frame/console_output.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>

#include "frame/console_text.h"

namespace vornset {
namespace {

constexpr Cell kBlank{' ', kTextAttribute};

// A cursor outside the buffer would make a run of no cells and never finish.
bool holds_cursor(const ScreenGeometry& geometry) {
  return geometry.width > 0 && geometry.height > 0 && geometry.cursor_x >= 0 &&
         geometry.cursor_x < geometry.width && geometry.cursor_y >= 0 &&
         geometry.cursor_y < geometry.height;
}

// The texts the program prints are short; only an unusually long one takes the heap.
constexpr std::size_t kLocalTextCells = 256;

// Eight bytes a step, then the rest byte by byte: the texts are too short for the
// set-up of a vectorised loop to pay.
bool is_ascii(std::string_view text) {
  std::uint64_t bits = 0;
  std::size_t i = 0;
  for (; i + sizeof bits <= text.size(); i += sizeof bits) {
    std::uint64_t word = 0;
    std::memcpy(&word, text.data() + i, sizeof word);
    bits |= word;
  }
  for (; i < text.size(); ++i) bits |= static_cast<unsigned char>(text[i]);
  return (bits & 0x8080808080808080u) == 0;
}

CellChar cell_character(char ascii) { return static_cast<unsigned char>(ascii); }
CellChar cell_character(CellChar character) { return character; }

}  // namespace

void ConsoleOutput::print_text(std::string_view text) {
  if (text.empty()) return;
  // Nearly everything the program prints is ASCII.
  if (is_ascii(text)) {
    write_ascii(text);
    return;
  }
  CellChar local[kLocalTextCells];
  std::unique_ptr<CellChar[]> large;
  std::span<CellChar> room(local);
  if (text.size() > room.size()) {
    large = std::make_unique_for_overwrite<CellChar[]>(text.size());
    room = {large.get(), text.size()};
  }
  write_cells(room.first(widen_text(text, room)));
}

void ConsoleOutput::write_cells(std::span<const CellChar> characters) { write_characters(characters); }

void ConsoleOutput::write_ascii(std::string_view text) {
  write_characters(std::span<const char>(text.data(), text.size()));
}

template <typename Character>
void ConsoleOutput::write_characters(std::span<const Character> characters) {
  ScreenGeometry geometry;
  if (!screen_.read_geometry(geometry) || !holds_cursor(geometry)) return;
  int x = geometry.cursor_x;
  int y = geometry.cursor_y;
  while (!characters.empty()) {
    if (scroll_pending_) {
      scroll_pending_ = false;
      screen_.scroll_up_one_row(geometry, kBlank);
    }
    const std::size_t length = std::min(
        {characters.size(), static_cast<std::size_t>(geometry.width - x), kMaxRun});
    for (std::size_t i = 0; i < length; ++i) run_[i].character = cell_character(characters[i]);
    screen_.write_cells(x, y, {run_, length});
    characters = characters.subspan(length);
    x += static_cast<int>(length);
    if (x == geometry.width) {
      x = 0;
      if (y + 1 == geometry.height) {
        scroll_pending_ = true;
      } else {
        ++y;
      }
    }
  }
  // Unlike a line end, this move keeps a pending scroll pending.
  screen_.set_cursor(x, y);
}

void ConsoleOutput::end_line() {
  ScreenGeometry geometry;
  if (!screen_.read_geometry(geometry) || !holds_cursor(geometry)) return;
  const int last_row = geometry.height - 1;
  if (geometry.cursor_y != last_row) {
    screen_.set_cursor(0, geometry.cursor_y + 1);
  } else {
    // After a full last row the scroll it put off comes first, so that the full row
    // is followed by an empty one, as it is in the middle of the buffer.
    if (scroll_pending_) screen_.scroll_up_one_row(geometry, kBlank);
    screen_.scroll_up_one_row(geometry, kBlank);
    screen_.set_cursor(0, last_row);
  }
  scroll_pending_ = false;
}

}  // namespace vornset
