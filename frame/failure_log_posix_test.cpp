#include "frame/failure_log_posix.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

// What a log receives is one line, and no byte of it can move a terminal's cursor,
// change its colours or start a new line when the log is shown.
TEST(FailureLog, IsOneLineOfTextThatControlsNothing) {
  const struct {
    std::string_view line;
    std::string_view logged;
  } table[] = {
      {"Frequency out of range", "vornset: Frequency out of range\n"},
      {"Serial port /dev/\x1b[2J\x07 could not be opened (no such device)",
       "vornset: Serial port /dev/\xE2\x90\x9B[2J\xE2\x90\x87 could not be opened (no such device)\n"},
      {"Serial port /dev/x\r\nBAUD 9600 could not be opened",
       "vornset: Serial port /dev/x\xE2\x90\x8D\xE2\x90\x8A" "BAUD 9600 could not be opened\n"},
      // A byte that is no UTF-8 and a C1 control (CSI) both show as U+FFFD.
      {"Serial port /dev/\xFF\xC2\x9B" "2J", "vornset: Serial port /dev/\xEF\xBF\xBD\xEF\xBF\xBD" "2J\n"},
  };
  for (const auto& row : table) {
    EXPECT_EQ(failure_log_text(row.line), row.logged);
  }
}

}  // namespace
}  // namespace vornset
