#include "app/help.h"

#include <windows.h>

#include <string>

namespace vornset {

const HelpConventions kPlatformHelpConventions{"VornSet", true};

// Text files and the console on Windows both want CR LF.
bool write_standard_output(std::string_view text) {
  std::string windows_text;
  for (const char c : text) {
    if (c == '\n') windows_text.push_back('\r');
    windows_text.push_back(c);
  }
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return false;
  std::string_view rest = windows_text;
  while (!rest.empty()) {
    DWORD written = 0;
    if (!WriteFile(output, rest.data(), static_cast<DWORD>(rest.size()), &written, nullptr) ||
        written == 0) {
      return false;
    }
    rest.remove_prefix(written);
  }
  return true;
}

}  // namespace vornset
