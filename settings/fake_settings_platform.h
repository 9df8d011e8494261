#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/file_table.h"
#include "settings/settings_file.h"
#include "settings/settings_platform.h"

namespace vornset {

// A settings platform for tests: one file, found where the test says, holding what the
// test says. Any call, counted from 1 across all calls, can be made to fail with a
// chosen outcome, so that every error path can be reached without a failing disk.
class FakeSettingsPlatform final : public SettingsPlatform {
 public:
  static constexpr SettingsFileHandle handle_value = 7;

  std::string found_path = "C:\\VORNSET\\VornSet.ini";  // empty: the search finds nothing
  bool plain_file = true;
  std::string contents;
  std::size_t delivery_limit = settings_buffer_size;  // a read delivers at most this much

  // What the fake saw.
  std::vector<std::string_view> calls;
  std::vector<std::uint64_t> read_offsets;
  std::string opened_path;
  int open_handles = 0;
  bool listed_at_close = false;       // file number 2 was in the table when it was closed
  const FileTable* table = nullptr;   // set to watch the table

  void fail_call(std::size_t number, CallOutcome outcome) {
    failing_call_ = number;
    failure_ = outcome;
  }

  CallOutcome search(std::string_view, std::string& full_path) override {
    if (const CallOutcome failure = next_call("search"); failure.failed()) return failure;
    full_path = found_path;
    return {};
  }

  CallOutcome is_plain_file(const std::string&, bool& result) override {
    if (const CallOutcome failure = next_call("is_plain_file"); failure.failed()) return failure;
    result = plain_file;
    return {};
  }

  CallOutcome open(const std::string& full_path, SettingsFileHandle& handle) override {
    if (const CallOutcome failure = next_call("open"); failure.failed()) return failure;
    opened_path = full_path;
    handle = handle_value;
    ++open_handles;
    return {};
  }

  CallOutcome read_at(SettingsFileHandle handle, std::uint64_t offset, SettingsBuffer& buffer,
                      std::size_t& delivered) override {
    if (const CallOutcome failure = next_call("read_at"); failure.failed()) return failure;
    if (handle != handle_value) return invalid_handle();
    read_offsets.push_back(offset);
    const std::size_t start = std::min<std::size_t>(static_cast<std::size_t>(offset), contents.size());
    delivered = std::min({contents.size() - start, buffer.size(), delivery_limit});
    std::copy_n(contents.begin() + static_cast<std::ptrdiff_t>(start), delivered, buffer.begin());
    return {};
  }

  CallOutcome close(SettingsFileHandle handle) override {
    if (handle != handle_value) return invalid_handle();
    // The handle is gone even when the close reports a failure.
    --open_handles;
    listed_at_close = table != nullptr && table->find(settings_file_number) != nullptr;
    return next_call("close");
  }

 private:
  CallOutcome next_call(std::string_view name) {
    calls.push_back(name);
    return calls.size() == failing_call_ ? failure_ : CallOutcome{};
  }

  static CallOutcome invalid_handle() { return {6, error_number::unnumbered}; }

  std::size_t failing_call_ = 0;
  CallOutcome failure_;
};

}  // namespace vornset
