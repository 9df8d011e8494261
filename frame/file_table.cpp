#include "frame/file_table.h"

#include "frame/error_number.h"
#include "frame/error_state.h"

namespace vornset {

bool FileTable::add(OpenFile& file, ErrorState& errors) {
  if (file.number < 0) {
    errors.record(error_number::bad_file_number);
    return false;
  }
  if (find(file.number) != nullptr) {
    errors.record(error_number::file_already_open);
    return false;
  }
  file.next = head_;
  head_ = &file;
  return true;
}

OpenFile* FileTable::find(std::int16_t number) const {
  for (OpenFile* file = head_; file != nullptr; file = file->next) {
    if (file->number == number) return file;
  }
  return nullptr;
}

OpenFile* FileTable::look_up(std::int16_t number, ErrorState& errors) const {
  OpenFile* file = find(number);
  if (file == nullptr) errors.record(error_number::bad_file_number);
  return file;
}

void FileTable::remove(std::int16_t number) {
  for (OpenFile** link = &head_; *link != nullptr; link = &(*link)->next) {
    if ((*link)->number == number) {
      *link = (*link)->next;
      return;
    }
  }
}

}  // namespace vornset
