#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "frame/screen_buffer.h"

namespace vornset {

// The print statement: items written as cells at the cursor, back to back, with the
// program's own wrapping at the right edge and its own scrolling at the bottom.
// Nothing is buffered: each run of cells reaches the screen as soon as it is formed.
class ConsoleOutput {
 public:
  constexpr explicit ConsoleOutput(ScreenBuffer& screen) : screen_(screen) {}

  // Writes `text`, in the platform's 8-bit encoding, one cell per character.
  // Control characters are cells like any other; an empty text changes nothing.
  void print_text(std::string_view text);
  // Writes the printed form of `value` (sign position, digits, one blank behind).
  void print_number(double value);
  // Moves to the start of the next row, scrolling when on the last row.
  void end_line();

  // Writes one cell per character at the cursor, wrapping at the right edge.
  void write_cells(std::span<const CellChar> characters);
  // The same for a text that is all ASCII: each byte is its own cell character, in
  // every encoding the program prints in, so it needs no widening.
  void write_ascii(std::string_view text);

  // The longest run written with one screen call.
  static constexpr std::size_t kMaxRun = 256;

 private:
  template <typename Character>
  void write_characters(std::span<const Character> characters);

  ScreenBuffer& screen_;
  // The last row was filled to its right edge: the buffer scrolls before anything
  // more is written there, so a full bottom row does not leave an empty row below it
  // until more output actually comes.
  bool scroll_pending_ = false;
  // Where a run is formed. It lives here rather than on the stack because a local array
  // of cells would be filled with blanks on every call, at many times the cost of the
  // few cells a print writes; the process's console is made at compile time, with it.
  // Its cells keep the attribute they are made with, kTextAttribute: only their
  // characters are ever written.
  Cell run_[kMaxRun];
};

// Chooses where printed output goes and prepares the console; run once at start-up.
// Standard output is used when it is a console (a terminal), otherwise standard error
// when that is one, otherwise nothing is shown: a redirected standard output never
// receives printed text. `install_control_handler` (may be nullptr) runs after the
// console modes are set and before the cursor is made visible, which is where the
// process frame installs its interrupt handling.
void set_up_console(void (*install_control_handler)());

// The process's console output; valid after set_up_console().
ConsoleOutput& process_console();

// Closes the console input device that set_up_console() opened; part of the exit sequence.
void release_console();

}  // namespace vornset
