#include "text/command_text.h"

#include <cstring>

#include "text/upper_case_utf8_posix.h"

namespace vornset {
namespace {

// POSIX hands over the arguments already split; the tail is rebuilt from them.
int captured_argc = 0;
char** captured_argv = nullptr;

std::string joined_arguments() {
  std::string tail;
  for (int i = 1; i < captured_argc; ++i) {
    if (i > 1) tail.push_back(' ');
    tail.append(captured_argv[i], std::strlen(captured_argv[i]));
  }
  return tail;
}

}  // namespace

void capture_command_line(int argc, char** argv) {
  captured_argc = argv == nullptr ? 0 : argc;
  captured_argv = argv;
}

std::string take_command_text() { return upper_case_utf8(joined_arguments()); }

std::optional<std::string> ascii_command_tail() {
  std::string tail = joined_arguments();
  for (const char byte : tail) {
    if (static_cast<unsigned char>(byte) > 0x7F) return std::nullopt;
  }
  return tail;
}

}  // namespace vornset
