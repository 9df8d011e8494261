#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/file_table.h"
#include "settings/settings_platform.h"

namespace vornset {

class ErrorState;

// The file number the settings file has in the table of open file numbers while it is read.
inline constexpr std::int16_t settings_file_number = 2;

// A settings file holds a few short lines. One whose data runs past 1 MiB is unreadable:
// a wrong file, one long line without a CR, must not grow the line being read until
// memory runs out.
inline constexpr std::uint64_t settings_file_size_limit = std::uint64_t{1024} * 1024;

// The settings file while it is open: its entry in the table of open file numbers and its
// read buffer. Each platform call that fails records its error number; the file then
// counts as unreadable.
class SettingsFile {
 public:
  SettingsFile(SettingsPlatform& platform, FileTable& files, ErrorState& errors)
      : platform_(platform), files_(files), errors_(errors) {}
  ~SettingsFile() { close(); }
  SettingsFile(const SettingsFile&) = delete;
  SettingsFile& operator=(const SettingsFile&) = delete;

  // Opens `full_path`, fills the buffer from offset 0 and enters the file in the table.
  // On failure nothing stays open and the file number stays free.
  bool open(const std::string& full_path);

  // Whether no line is left: the end of the data, or a Ctrl-Z (0x1A) as the next byte.
  // Refills the buffer when it is used up. A failed refill, or one that reaches past
  // settings_file_size_limit, sets failed().
  bool at_end();

  // Reads the next line into `line`, without its line end. A line ends at CR or CR LF
  // (also when the LF arrives only with the next refill), before a Ctrl-Z, or at the end
  // of the data; a lone LF is an ordinary byte. Returns false when a refill failed.
  bool read_line(std::string& line);

  // Closes the file and frees its number; does nothing when it is not open.
  void close();

  bool failed() const { return failed_; }

 private:
  bool refill();
  bool record_failure(const CallOutcome& outcome);
  bool within_size_limit();
  void discard_handle();

  SettingsPlatform& platform_;
  FileTable& files_;
  ErrorState& errors_;
  OpenFile entry_{settings_file_number, FileKind::settings_file, nullptr};
  SettingsFileHandle handle_ = no_settings_file;
  SettingsBuffer buffer_{};
  std::uint64_t buffer_offset_ = 0;  // file offset of buffer_[0]
  std::size_t delivered_ = 0;        // bytes the last read put into the buffer
  std::size_t next_ = 0;             // index of the next unread byte in the buffer
  bool end_of_data_ = false;         // a read delivered nothing: the file ends here
  bool failed_ = false;
};

}  // namespace vornset
