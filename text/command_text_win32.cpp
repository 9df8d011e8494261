#include "text/command_text.h"

#include <windows.h>

#include "text/command_tail.h"
#include "text/upper_case_narrow_win32.h"

namespace vornset {
namespace {

// Points into the system's own command line, which lives as long as the process.
const wchar_t* captured_tail = L"";

}  // namespace

void capture_command_line(int, char**) {
  const wchar_t* line = GetCommandLineW();
  captured_tail = line + find_tail_start_in(std::wstring_view(line));
}

std::string take_command_text() { return upper_case_and_narrow(std::wstring(captured_tail)); }

std::optional<std::string> ascii_command_tail() {
  std::string tail;
  for (const wchar_t* unit = captured_tail; *unit != L'\0'; ++unit) {
    if (*unit > 0x7F) return std::nullopt;
    tail.push_back(static_cast<char>(*unit));
  }
  return tail;
}

}  // namespace vornset
