#pragma once

#include <cstdint>
#include <type_traits>

#include "frame/error_number.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#endif

namespace vornset {

// What a platform call left behind: the system's own code (GetLastError on Windows,
// errno on POSIX) and the error number it maps to; both 0 when the call succeeded.
struct CallOutcome {
  std::uint32_t system_code = 0;
  int error_number = 0;
  bool failed() const { return system_code != 0; }
};

// Every platform call on a file, a directory listing or the serial port goes through
// here: the last-error value is cleared before and read after, and on Windows no
// critical-error or open-file dialog box may appear while the call runs (a drive
// that is not ready must not stop an unattended run with a message box).
template <typename Call>
auto guarded_call(Call&& call, CallOutcome& outcome) -> decltype(call()) {
#ifdef _WIN32
  const UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  SetLastError(0);
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    outcome.system_code = GetLastError();
    SetErrorMode(previous_mode);
    outcome.error_number = outcome.failed() ? error_number_for_windows_code(outcome.system_code) : 0;
  } else {
    auto result = call();
    outcome.system_code = GetLastError();
    SetErrorMode(previous_mode);
    outcome.error_number = outcome.failed() ? error_number_for_windows_code(outcome.system_code) : 0;
    return result;
  }
#else
  errno = 0;
  if constexpr (std::is_void_v<decltype(call())>) {
    call();
    outcome.system_code = static_cast<std::uint32_t>(errno);
    outcome.error_number = outcome.failed() ? error_number_for_errno(errno) : 0;
  } else {
    auto result = call();
    outcome.system_code = static_cast<std::uint32_t>(errno);
    outcome.error_number = outcome.failed() ? error_number_for_errno(errno) : 0;
    return result;
  }
#endif
}

}  // namespace vornset
