#include "frame/error_number.h"

#include <cerrno>

namespace vornset {

int error_number_for_windows_code(std::uint32_t code) {
  using namespace error_number;
  // One case per system code, named beside it; neighbours that map alike stay apart.
  // NOLINTBEGIN(bugprone-branch-clone)
  switch (code) {
    case 1: return path_file_access_error;   // ERROR_INVALID_FUNCTION
    case 2: return file_not_found;           // ERROR_FILE_NOT_FOUND
    case 3: return path_not_found;           // ERROR_PATH_NOT_FOUND
    case 4: return too_many_files;           // ERROR_TOO_MANY_OPEN_FILES
    case 5: return permission_denied;        // ERROR_ACCESS_DENIED
    case 6: return unnumbered;               // ERROR_INVALID_HANDLE
    case 7: return first_fatal;              // ERROR_ARENA_TRASHED
    case 8: return out_of_memory;            // ERROR_NOT_ENOUGH_MEMORY
    case 9: return first_fatal;              // ERROR_INVALID_BLOCK
    case 10: return first_fatal;             // ERROR_BAD_ENVIRONMENT
    case 11: case 12: case 13: return unnumbered;
    case 14: return out_of_memory;           // ERROR_OUTOFMEMORY
    case 15: return device_unavailable;      // ERROR_INVALID_DRIVE
    case 16: return path_file_access_error;  // ERROR_CURRENT_DIRECTORY
    case 17: return rename_across_disks;     // ERROR_NOT_SAME_DEVICE
    case 18: return file_not_found;          // ERROR_NO_MORE_FILES
    case 19: return permission_denied;       // ERROR_WRITE_PROTECT
    case 20: return device_unavailable;      // ERROR_BAD_UNIT
    case 21: return disk_not_ready;          // ERROR_NOT_READY
    case 22: case 24: return unnumbered;     // ERROR_BAD_COMMAND, ERROR_BAD_LENGTH
    case 23: case 25: case 26: case 27: case 28: case 29: case 30: case 31: case 34: case 35:
      return disk_media_error;
    case 32: case 33: case 36: return permission_denied;  // sharing and lock violations
    case 37: return path_file_access_error;
    case 38: return input_past_end;          // ERROR_HANDLE_EOF
    case 39: return disk_full;               // ERROR_HANDLE_DISK_FULL
    case 87: return invalid_call;            // ERROR_INVALID_PARAMETER
    case 112: return disk_full;              // ERROR_DISK_FULL
    default: return code >= 40 ? path_file_access_error : unnumbered;
  }
  // NOLINTEND(bugprone-branch-clone)
}

int error_number_for_errno(int err) {
  using namespace error_number;
  switch (err) {
    case ENOENT: return file_not_found;
    case ENOTDIR: return path_not_found;
    case EACCES: case EPERM: case EBUSY: case EROFS: return permission_denied;
    case EMFILE: case ENFILE: return too_many_files;
    case ENOMEM: return out_of_memory;
    case EINVAL: return invalid_call;
    case EIO: return disk_media_error;
    case ENOSPC: return disk_full;
    default: return path_file_access_error;
  }
}

}  // namespace vornset
