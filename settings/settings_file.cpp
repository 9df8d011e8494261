#include "settings/settings_file.h"

#include "frame/error_number.h"
#include "frame/error_state.h"

namespace vornset {
namespace {

constexpr char carriage_return = '\r';
constexpr char line_feed = '\n';
constexpr char end_of_text = '\x1a';  // Ctrl-Z: nothing behind it is ever read

}  // namespace

bool SettingsFile::record_failure(const CallOutcome& outcome) {
  errors_.record(outcome.error_number);
  failed_ = true;
  return false;
}

bool SettingsFile::open(const std::string& full_path) {
  if (handle_ != no_settings_file) return false;
  CallOutcome outcome = platform_.open(full_path, handle_);
  if (outcome.failed()) {
    handle_ = no_settings_file;
    return record_failure(outcome);
  }
  buffer_offset_ = 0;
  next_ = 0;
  outcome = platform_.read_at(handle_, buffer_offset_, buffer_, delivered_);
  if (outcome.failed()) {
    discard_handle();
    return record_failure(outcome);
  }
  end_of_data_ = delivered_ == 0;
  if (!files_.add(entry_, errors_)) {  // records its own number
    discard_handle();
    failed_ = true;
    return false;
  }
  return true;
}

// What has been read so far is counted, not the file's size asked for: that costs
// no system call, and holds also for a file that grows while it is read.
bool SettingsFile::within_size_limit() {
  if (buffer_offset_ + delivered_ <= settings_file_size_limit) return true;
  errors_.record(error_number::out_of_memory);  // what the line would have come to
  failed_ = true;
  return false;
}

// Lets go of a handle that never made it into the table; the failure that led here is
// the one to record, not a failing close.
void SettingsFile::discard_handle() {
  platform_.close(handle_);
  handle_ = no_settings_file;
  delivered_ = 0;
}

bool SettingsFile::refill() {
  if (end_of_data_) return true;  // asking again would only cost a system call
  // The next unread byte lies just behind what the last read delivered; seeking there
  // absolutely keeps the reads right whatever else moved the file position.
  const std::uint64_t offset = buffer_offset_ + delivered_;
  const CallOutcome outcome = platform_.read_at(handle_, offset, buffer_, delivered_);
  buffer_offset_ = offset;
  next_ = 0;
  if (outcome.failed()) {
    delivered_ = 0;
    return record_failure(outcome);
  }
  end_of_data_ = delivered_ == 0;
  return within_size_limit();
}

bool SettingsFile::at_end() {
  if (handle_ == no_settings_file || failed_) return true;
  if (next_ == delivered_ && !refill()) return true;
  return next_ == delivered_ || buffer_[next_] == end_of_text;
}

bool SettingsFile::read_line(std::string& line) {
  line.clear();
  if (handle_ == no_settings_file || failed_) return false;
  for (;;) {
    if (next_ == delivered_) {
      if (!refill()) return false;
      if (delivered_ == 0) break;
    }
    // The line's bytes that the buffer holds go in with one append. memchr, a vector at a
    // time, finds where they end sooner than a test of each byte for both ends would.
    std::string_view part(buffer_.data() + next_, delivered_ - next_);
    part = part.substr(0, part.find(carriage_return));
    part = part.substr(0, part.find(end_of_text));
    line.append(part);
    next_ += part.size();
    if (next_ == delivered_) continue;
    if (buffer_[next_] == end_of_text) break;  // left unread, so that the end test stops there
    ++next_;
    if (next_ == delivered_ && !refill()) return false;
    if (next_ < delivered_ && buffer_[next_] == line_feed) ++next_;
    break;
  }
  return true;
}

void SettingsFile::close() {
  if (handle_ == no_settings_file) return;
  const CallOutcome outcome = platform_.close(handle_);
  handle_ = no_settings_file;
  files_.remove(settings_file_number);
  if (outcome.failed()) errors_.record(outcome.error_number);
}

}  // namespace vornset
