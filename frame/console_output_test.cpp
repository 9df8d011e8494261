#include "frame/console_output.h"

#include <gtest/gtest.h>

#include "frame/console_text.h"

#include <string>
#include <vector>

namespace vornset {
namespace {

// Cells the program did not write: a character of their own per row and a colour
// other than 7, so that moved rows and foreign attributes show in every comparison.
constexpr std::string_view kOldRowChars = "#$%&*@";
constexpr std::uint16_t kOldAttribute = 0x1F;

// A screen buffer in memory that behaves like a console's and records its calls.
class MemoryScreen final : public ScreenBuffer {
 public:
  MemoryScreen(int width, int height, int cursor_x, int cursor_y)
      : geometry_{width, height, cursor_x, cursor_y},
        cells_(static_cast<std::size_t>(width * height)) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        cell(x, y) = Cell{static_cast<CellChar>(kOldRowChars[static_cast<std::size_t>(y)]),
                          kOldAttribute};
      }
    }
  }

  bool read_geometry(ScreenGeometry& geometry) override {
    geometry = geometry_;
    return readable;
  }
  void write_cells(int x, int y, std::span<const Cell> cells) override {
    run_lengths.push_back(cells.size());
    EXPECT_LE(x + static_cast<int>(cells.size()), geometry_.width) << "run passes the right edge";
    for (const Cell& written : cells) cell(x++, y) = written;
  }
  void scroll_up_one_row(const ScreenGeometry& geometry, Cell fill) override {
    EXPECT_EQ(geometry.width, geometry_.width);
    EXPECT_EQ(geometry.height, geometry_.height);
    ++scrolls;
    for (int y = 1; y < geometry_.height; ++y) {
      for (int x = 0; x < geometry_.width; ++x) cell(x, y - 1) = cell(x, y);
    }
    for (int x = 0; x < geometry_.width; ++x) cell(x, geometry_.height - 1) = fill;
  }
  void set_cursor(int x, int y) override {
    ++cursor_moves;
    geometry_.cursor_x = x;
    geometry_.cursor_y = y;
  }

  // Row `y` as text; a cell in another attribute than its character implies fails the test.
  std::string row(int y) {
    std::string text;
    for (int x = 0; x < geometry_.width; ++x) {
      const Cell& c = cell(x, y);
      const bool old = kOldRowChars.find(static_cast<char>(c.character)) != std::string_view::npos;
      EXPECT_EQ(c.attribute, old ? kOldAttribute : kTextAttribute) << "cell " << x << "," << y;
      text += static_cast<char>(c.character);
    }
    return text;
  }
  std::vector<std::string> rows() {
    std::vector<std::string> all;
    for (int y = 0; y < geometry_.height; ++y) all.push_back(row(y));
    return all;
  }
  CellChar character(int x, int y) { return cell(x, y).character; }
  int cursor_x() const { return geometry_.cursor_x; }
  int cursor_y() const { return geometry_.cursor_y; }
  void move_cursor_behind_our_back(int x, int y) { geometry_.cursor_x = x, geometry_.cursor_y = y; }

  bool readable = true;
  std::vector<std::size_t> run_lengths;
  int scrolls = 0;
  int cursor_moves = 0;

 private:
  Cell& cell(int x, int y) {
    return cells_[static_cast<std::size_t>(y) * static_cast<std::size_t>(geometry_.width) +
                  static_cast<std::size_t>(x)];
  }

  ScreenGeometry geometry_;
  std::vector<Cell> cells_;
};

// One print step: a text item, or a line end when `text` is null.
struct Step {
  const char* text;
};
constexpr Step kLineEnd{nullptr};

void run(ConsoleOutput& console, const std::vector<Step>& steps) {
  for (const Step& step : steps) {
    if (step.text == nullptr) {
      console.end_line();
    } else {
      console.print_text(step.text);
    }
  }
}

struct LayoutCase {
  const char* name;
  int width, height, start_x, start_y;
  std::vector<Step> steps;
  std::vector<std::string> rows;
  int cursor_x, cursor_y;
  int scrolls;
};

TEST(ConsoleOutputLayout, WrapsAndScrollsLikeTheConsole) {
  const LayoutCase cases[] = {
      {"text stays on its row", 10, 4, 0, 0, {{"abc"}},
       {"abc#######", "$$$$$$$$$$", "%%%%%%%%%%", "&&&&&&&&&&"}, 3, 0, 0},
      {"items stand back to back", 10, 4, 2, 1, {{"ab"}, {"cd"}, kLineEnd},
       {"##########", "$$abcd$$$$", "%%%%%%%%%%", "&&&&&&&&&&"}, 0, 2, 0},
      {"longer than the rest of the row", 10, 4, 6, 0, {{"abcdefgh"}},
       {"######abcd", "efgh$$$$$$", "%%%%%%%%%%", "&&&&&&&&&&"}, 4, 1, 0},
      {"exactly to the edge, then a line end leaves an empty row", 10, 4, 0, 1,
       {{"0123456789"}, kLineEnd, {"x"}},
       {"##########", "0123456789", "%%%%%%%%%%", "x&&&&&&&&&"}, 1, 3, 0},
      {"longer than two rows", 4, 4, 1, 0, {{"abcdefghi"}},
       {"#abc", "defg", "hi%%", "&&&&"}, 2, 2, 0},
      {"last row filled: the scroll waits", 10, 4, 0, 3, {{"0123456789"}},
       {"##########", "$$$$$$$$$$", "%%%%%%%%%%", "0123456789"}, 0, 3, 0},
      {"last row filled: the next item scrolls first", 10, 4, 0, 3, {{"0123456789"}, {"ab"}},
       {"$$$$$$$$$$", "%%%%%%%%%%", "0123456789", "ab        "}, 2, 3, 1},
      {"last row filled: a line end scrolls twice, and no more after", 10, 4, 0, 3,
       {{"0123456789"}, kLineEnd, {"x"}},
       {"%%%%%%%%%%", "0123456789", "          ", "x         "}, 1, 3, 2},
      {"line end on the last row scrolls once", 10, 4, 0, 3, {{"abc"}, kLineEnd},
       {"$$$$$$$$$$", "%%%%%%%%%%", "abc&&&&&&&", "          "}, 0, 3, 1},
      {"wrap on the last row", 10, 4, 8, 3, {{"abcd"}},
       {"$$$$$$$$$$", "%%%%%%%%%%", "&&&&&&&&ab", "cd        "}, 2, 3, 1},
      {"line end mid-row goes to column 0 of the next row", 10, 4, 5, 0, {kLineEnd},
       {"##########", "$$$$$$$$$$", "%%%%%%%%%%", "&&&&&&&&&&"}, 0, 1, 0},
      {"control characters are cells like any other", 10, 2, 0, 0, {{"a\tb\r\n\a"}},
       {"a\tb\r\n\a####", "$$$$$$$$$$"}, 6, 0, 0},
      {"one-row buffer", 3, 1, 0, 0, {{"abcd"}, kLineEnd, {"e"}},
       {"e  "}, 1, 0, 2},
  };
  for (const LayoutCase& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryScreen screen(c.width, c.height, c.start_x, c.start_y);
    ConsoleOutput console(screen);
    run(console, c.steps);
    EXPECT_EQ(screen.rows(), c.rows);
    EXPECT_EQ(screen.cursor_x(), c.cursor_x);
    EXPECT_EQ(screen.cursor_y(), c.cursor_y);
    EXPECT_EQ(screen.scrolls, c.scrolls);
  }
}

TEST(ConsoleOutputLayout, BandLineOnAnEightyColumnBuffer) {
  constexpr std::string_view kBandLine = "HF Mode,   LP Filter in    PWR out";
  MemoryScreen screen(80, 3, 0, 0);
  ConsoleOutput console(screen);
  console.print_text(kBandLine);
  console.end_line();
  EXPECT_EQ(screen.row(0), std::string(kBandLine) + std::string(80 - kBandLine.size(), '#'));
  EXPECT_EQ(screen.row(1), std::string(80, '$'));
  EXPECT_EQ(screen.cursor_x(), 0);
  EXPECT_EQ(screen.cursor_y(), 1);
}

TEST(ConsoleOutputLayout, FrequencyLineIsItsThreeItemsWithNothingAdded) {
  MemoryScreen screen(30, 2, 0, 0);
  ConsoleOutput console(screen);
  console.print_text("Frequency  ");
  console.print_number(7.05);
  console.print_text("MHz");
  console.end_line();
  EXPECT_EQ(screen.row(0), "Frequency   7.05 MHz##########");
  EXPECT_EQ(screen.cursor_y(), 1);
}

TEST(ConsoleOutputLayout, AnEmptyItemChangesNothingNotEvenAPendingScroll) {
  MemoryScreen screen(4, 2, 0, 1);
  ConsoleOutput console(screen);
  console.print_text("abcd");
  const int moves = screen.cursor_moves;
  console.print_text("");
  EXPECT_EQ(screen.cursor_moves, moves);
  EXPECT_EQ(screen.scrolls, 0);
  console.print_text("e");  // the scroll that "abcd" put off still comes
  EXPECT_EQ(screen.rows(), (std::vector<std::string>{"abcd", "e   "}));
}

TEST(ConsoleOutputLayout, RunsAreAtMost256CellsAndEndAtTheRightEdge) {
  const struct {
    int width, start_x;
    std::size_t length;
    std::vector<std::size_t> runs;
  } cases[] = {
      {600, 0, 600, {256, 256, 88}},
      {600, 100, 600, {256, 244, 100}},
      {300, 290, 20, {10, 10}},
      {256, 0, 257, {256, 1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start_x);
    MemoryScreen screen(c.width, 3, c.start_x, 0);
    ConsoleOutput console(screen);
    console.print_text(std::string(c.length, 'x'));  // longer than the text kept on the stack
    EXPECT_EQ(screen.run_lengths, c.runs);
  }
}

// ASCII text is laid out byte by byte; a text with any other byte is widened by the
// platform first, so its cells are the characters the platform makes of it.
TEST(ConsoleOutputLayout, TextWithBytesAboveAsciiIsWidenedFirst) {
  const std::string texts[] = {
      "caf\xC3\xA9!",
      "\xE9t\xE9",
      "\xC3\xA9t\xC3\xA9 of eight bytes and more",
      "eight by\xC3\xA9tes, then more",
      "\x7F ascii to the end \x01",
      std::string(300, 'a') + "\xE2\x82\xAC",  // longer than the text kept on the stack
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(text.size());
    std::vector<CellChar> expected(text.size());
    expected.resize(widen_text(text, expected));
    MemoryScreen screen(400, 2, 0, 0);
    ConsoleOutput console(screen);
    console.print_text(text);
    std::vector<CellChar> written;
    for (std::size_t x = 0; x < expected.size(); ++x) written.push_back(screen.character(static_cast<int>(x), 0));
    EXPECT_EQ(written, expected);
    EXPECT_EQ(screen.cursor_x(), static_cast<int>(expected.size()));
    EXPECT_EQ(screen.character(static_cast<int>(expected.size()), 0), static_cast<CellChar>('#'));
  }
}

TEST(ConsoleOutputLayout, FollowsACursorMovedByOthersBetweenItems) {
  MemoryScreen screen(10, 3, 0, 0);
  ConsoleOutput console(screen);
  console.print_text("ab");
  screen.move_cursor_behind_our_back(5, 1);
  console.print_text("cd");
  EXPECT_EQ(screen.rows(), (std::vector<std::string>{"ab########", "$$$$$cd$$$", "%%%%%%%%%%"}));
}

TEST(ConsoleOutputLayout, WithoutAReadableBufferTheItemIsDropped) {
  MemoryScreen screen(10, 2, 3, 1);
  screen.readable = false;
  ConsoleOutput console(screen);
  console.print_text("abc");
  console.end_line();
  EXPECT_TRUE(screen.run_lengths.empty());
  EXPECT_EQ(screen.cursor_moves, 0);
  EXPECT_EQ(screen.scrolls, 0);
}

}  // namespace
}  // namespace vornset
