#include "frame/guarded_call.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace vornset {
namespace {

#ifdef _WIN32
TEST(GuardedCall, ReadsTheLastErrorOfAFailingCall) {
  CallOutcome outcome;
  const HANDLE handle = guarded_call(
      [] {
        return CreateFileW(L"Z:\\no\\such\\folder\\file.ini", GENERIC_READ, 0, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
      },
      outcome);
  EXPECT_EQ(handle, INVALID_HANDLE_VALUE);
  EXPECT_EQ(outcome.error_number, error_number::path_not_found);
}
#else
TEST(GuardedCall, ReadsErrnoOfAFailingCall) {
  CallOutcome outcome;
  const int fd = guarded_call([] { return ::open("/no/such/folder/file.ini", O_RDONLY); }, outcome);
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(outcome.system_code, static_cast<std::uint32_t>(ENOENT));
  EXPECT_EQ(outcome.error_number, error_number::file_not_found);
}
#endif

TEST(GuardedCall, AStaleErrorFromBeforeTheCallDoesNotCount) {
#ifdef _WIN32
  SetLastError(ERROR_ACCESS_DENIED);
#else
  errno = EACCES;
#endif
  CallOutcome outcome;
  EXPECT_EQ(guarded_call([] { return 7; }, outcome), 7);
  EXPECT_FALSE(outcome.failed());
  EXPECT_EQ(outcome.error_number, 0);
}

}  // namespace
}  // namespace vornset
