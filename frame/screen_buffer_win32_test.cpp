#include "frame/screen_buffer_win32.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/console_output.h"

namespace vornset {
namespace {

// A screen buffer of the process's console, of a known size; tests without a console
// are skipped, since a buffer cannot exist without one.
class ConsoleBufferTest : public testing::Test {
 protected:
  void SetUp() override {
    buffer_ = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                        CONSOLE_TEXTMODE_BUFFER, nullptr);
    if (buffer_ == INVALID_HANDLE_VALUE) GTEST_SKIP() << "no console";
    if (!SetConsoleScreenBufferSize(buffer_, COORD{kWidth, kHeight})) {
      GTEST_SKIP() << "the console cannot take a buffer of " << kWidth << " columns";
    }
    // Foreign content in another colour, as another program may have left it.
    const DWORD cells = DWORD{kWidth} * DWORD{kHeight};
    DWORD done = 0;
    FillConsoleOutputCharacterW(buffer_, L'#', cells, COORD{0, 0}, &done);
    FillConsoleOutputAttribute(buffer_, 0x1F, cells, COORD{0, 0}, &done);
    SetConsoleCursorPosition(buffer_, COORD{0, kHeight - 1});
  }
  void TearDown() override {
    if (buffer_ != INVALID_HANDLE_VALUE) CloseHandle(buffer_);
  }

  // Row `y` as text, with each cell's attribute checked against what its character says.
  std::wstring row(SHORT y) {
    CHAR_INFO cells[kWidth];
    SMALL_RECT region{0, y, kWidth - 1, y};
    EXPECT_TRUE(ReadConsoleOutputW(buffer_, cells, COORD{kWidth, 1}, COORD{0, 0}, &region));
    std::wstring text;
    for (const CHAR_INFO& cell : cells) {
      EXPECT_EQ(cell.Attributes, cell.Char.UnicodeChar == L'#' ? 0x1F : kTextAttribute);
      text += cell.Char.UnicodeChar;
    }
    return text;
  }
  COORD cursor() {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    GetConsoleScreenBufferInfo(buffer_, &info);
    return info.dwCursorPosition;
  }

  // Larger than any console window, which a buffer may not be smaller than.
  static constexpr SHORT kWidth = 300;
  static constexpr SHORT kHeight = 200;
  HANDLE buffer_ = INVALID_HANDLE_VALUE;
};

TEST_F(ConsoleBufferTest, WritesWrapsAndScrollsInAttribute7) {
  ConsoleScreenBuffer screen(buffer_);
  ConsoleOutput console(screen);
  const std::string full_row(kWidth - 10, 'x');
  console.print_text("0123456789");
  console.print_text(full_row);  // fills the last row: the scroll waits
  EXPECT_EQ(row(kHeight - 1), L"0123456789" + std::wstring(kWidth - 10, L'x'));
  EXPECT_EQ(row(kHeight - 2), std::wstring(kWidth, L'#'));
  console.print_text("\a\t");  // cells, not control codes
  console.end_line();
  EXPECT_EQ(row(kHeight - 3), L"0123456789" + std::wstring(kWidth - 10, L'x'));
  EXPECT_EQ(row(kHeight - 2), L"\a\t" + std::wstring(kWidth - 2, L' '));
  EXPECT_EQ(row(kHeight - 1), std::wstring(kWidth, L' '));
  EXPECT_EQ(cursor().X, 0);
  EXPECT_EQ(cursor().Y, kHeight - 1);
}

}  // namespace
}  // namespace vornset
