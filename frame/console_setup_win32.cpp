#include "frame/console_output.h"

#include <windows.h>

#include "frame/screen_buffer_win32.h"

namespace vornset {
namespace {

ConsoleScreenBuffer screen;
ConsoleOutput console(screen);
// Kept open for the life of the process; nothing is read through it.
HANDLE console_input = nullptr;

// Output processing and wrap at the end of a line, for whatever else writes to the
// console; our own cell writes are affected by neither.
constexpr DWORD kOutputMode = ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT;

bool cursor_has_shape(HANDLE handle) {
  CONSOLE_CURSOR_INFO cursor;
  return GetConsoleCursorInfo(handle, &cursor) && cursor.dwSize != 0;
}

}  // namespace

void set_up_console(void (*install_control_handler)()) {
  HANDLE output = GetStdHandle(STD_ERROR_HANDLE);
  const HANDLE standard_input = GetStdHandle(STD_INPUT_HANDLE);
  const HANDLE standard_output = GetStdHandle(STD_OUTPUT_HANDLE);
  console_input = CreateFileA("CONIN$", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                              nullptr);
  DWORD mode = 0;
  if (GetConsoleMode(standard_output, &mode)) output = standard_output;
  SetConsoleMode(output, kOutputMode);
  // No line input, no echo, no processed input.
  SetConsoleMode(standard_input, 0);
  if (install_control_handler != nullptr) install_control_handler();
  // A cursor of size 0 is invisible; give it the console's usual shape.
  if (!cursor_has_shape(output) && !cursor_has_shape(standard_output)) {
    const CONSOLE_CURSOR_INFO cursor{10, TRUE};
    SetConsoleCursorInfo(output, &cursor);
  }
  screen = ConsoleScreenBuffer(output);
}

ConsoleOutput& process_console() { return console; }

void release_console() {
  // A failed open leaves INVALID_HANDLE_VALUE, which CloseHandle would take for the
  // current process.
  if (console_input != nullptr && console_input != INVALID_HANDLE_VALUE) CloseHandle(console_input);
  console_input = nullptr;
}

}  // namespace vornset
