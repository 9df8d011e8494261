#pragma once

#include <cstdint>

namespace vornset {

// The error numbers a failing statement records. They are the only trace that a
// failure leaves in the error state, so tests assert them.
namespace error_number {
inline constexpr int invalid_call = 5;          // a setting the driver refuses
inline constexpr int out_of_memory = 7;
inline constexpr int device_timeout = 24;       // a write that failed or fell short
inline constexpr int unnumbered = 51;           // a failure without a number of its own
inline constexpr int bad_file_number = 52;      // a file number that is not open
inline constexpr int file_not_found = 53;
inline constexpr int bad_file_mode = 54;        // e.g. a send to something that is no serial port
inline constexpr int file_already_open = 55;
inline constexpr int disk_full = 61;
inline constexpr int input_past_end = 62;
inline constexpr int bad_file_name = 64;        // empty, or holding '*' or '?'
inline constexpr int too_many_files = 67;
inline constexpr int device_unavailable = 68;
inline constexpr int device_io_error = 69;      // a serial port that could not be opened
inline constexpr int permission_denied = 70;
inline constexpr int disk_not_ready = 71;
inline constexpr int disk_media_error = 72;
inline constexpr int rename_across_disks = 74;
inline constexpr int path_file_access_error = 75;
inline constexpr int path_not_found = 76;
inline constexpr int first_fatal = 241;          // this number and above end the process
}  // namespace error_number

// Maps a Windows system error code (GetLastError) to an error number.
int error_number_for_windows_code(std::uint32_t code);

// Maps a POSIX errno value to the error number Windows would give for the same failure.
int error_number_for_errno(int err);

}  // namespace vornset
