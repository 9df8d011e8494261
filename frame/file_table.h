#pragma once

#include <cstdint>

namespace vornset {

enum class FileKind : std::uint8_t { settings_file, serial_port };

// One open file or port. Subsystems embed it in their own record (settings file,
// serial port) so that the table needs no allocation of its own.
struct OpenFile {
  std::int16_t number = 0;
  FileKind kind = FileKind::settings_file;
  OpenFile* next = nullptr;
};

class ErrorState;

// The table of open file numbers: the most recently opened first. Statements name
// files by number; a number that is not open is a statement error.
class FileTable {
 public:
  // Adds `file` under its number. Records 52 for a negative number and 55 for a
  // number already open; returns whether the file was added.
  bool add(OpenFile& file, ErrorState& errors);
  // The record with `number`, or nullptr after recording 52.
  OpenFile* look_up(std::int16_t number, ErrorState& errors) const;
  // The record with `number`, or nullptr; records nothing (closing an unopened number is no error).
  OpenFile* find(std::int16_t number) const;
  // Removes the record with `number`, if any.
  void remove(std::int16_t number);

 private:
  OpenFile* head_ = nullptr;
};

}  // namespace vornset
