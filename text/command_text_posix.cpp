#include "text/command_text.h"

#include <cstring>

#include "text/upper_case_utf8_posix.h"

namespace vornset {
namespace {

// POSIX hands over the arguments already split; the tail is rebuilt from them.
int captured_argc = 0;
char** captured_argv = nullptr;

}  // namespace

void capture_command_line(int argc, char** argv) {
  captured_argc = argv == nullptr ? 0 : argc;
  captured_argv = argv;
}

std::string take_command_text() {
  std::string tail;
  for (int i = 1; i < captured_argc; ++i) {
    if (i > 1) tail.push_back(' ');
    tail.append(captured_argv[i], std::strlen(captured_argv[i]));
  }
  return upper_case_utf8(tail);
}

}  // namespace vornset
