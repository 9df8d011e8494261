#include "frame/error_state.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "frame/error_number.h"

namespace vornset {
namespace {

int fatal_number = 0;
void note_fatal(int number) { fatal_number = number; }

TEST(RecordAFailure, KeepsTheLatestNumberAndTakes51ForZero) {
  fatal_number = 0;
  ErrorState errors(note_fatal);
  errors.record(69);
  errors.record(52);
  EXPECT_EQ(errors.last(), 52);
  errors.record(0);
  EXPECT_EQ(errors.last(), 51);
  EXPECT_EQ(errors.count(), 3);
  EXPECT_EQ(fatal_number, 0);
}

TEST(RecordAFailure, NumbersFrom241UpAreFatal) {
  for (int number : {240, 241, 255}) {
    fatal_number = 0;
    ErrorState errors(note_fatal);
    errors.record(number);
    EXPECT_EQ(fatal_number, number >= 241 ? number : 0) << number;
  }
}

TEST(RecordAFailure, FatalNumberEndsTheProcessWithExitCode255) {
  EXPECT_EXIT(
      {
        ErrorState errors;
        errors.record(241);
      },
      testing::ExitedWithCode(255), "");
}

struct WindowsCode {
  std::uint32_t code;
  int number;
};

TEST(ErrorNumberMapping, WindowsCodes) {
  const WindowsCode table[] = {
      {1, 75},  {2, 53},  {3, 76},  {4, 67},  {5, 70},  {6, 51},  {7, 241}, {8, 7},
      {9, 241}, {10, 241}, {11, 51}, {12, 51}, {13, 51}, {14, 7},  {15, 68}, {16, 75},
      {17, 74}, {18, 53}, {19, 70}, {20, 68}, {21, 71}, {22, 51}, {23, 72}, {24, 51},
      {25, 72}, {31, 72}, {32, 70}, {33, 70}, {34, 72}, {35, 72}, {36, 70}, {37, 75},
      {38, 62}, {39, 61}, {40, 75}, {87, 5},  {112, 61}, {1167, 75}, {121, 75},
  };
  for (const auto& row : table) {
    EXPECT_EQ(error_number_for_windows_code(row.code), row.number) << "code " << row.code;
  }
}

TEST(ErrorNumberMapping, ErrnoValuesGiveTheNumbersWindowsWouldGive) {
  const struct {
    int err;
    int number;
  } table[] = {
      {ENOENT, 53}, {ENOTDIR, 76}, {EACCES, 70}, {EPERM, 70},  {EBUSY, 70}, {EROFS, 70},
      {EMFILE, 67}, {ENFILE, 67},  {ENOMEM, 7},  {EINVAL, 5},  {EIO, 72},   {ENOSPC, 61},
      {EAGAIN, 75}, {ENODEV, 75},  {EINTR, 75},
  };
  for (const auto& row : table) {
    EXPECT_EQ(error_number_for_errno(row.err), row.number) << "errno " << row.err;
  }
}

}  // namespace
}  // namespace vornset
