// Any bytes as the settings file, delivered in reads of any size, with any one platform
// call failing: reading always ends, every file closed again, and the port and baud texts
// are exactly the tails behind the keys in the last lines that hold them.
//
// Input: one byte for the read size, one for the failing call and its error, the file.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "frame/error_state.h"
#include "frame/file_table.h"
#include "fuzz/fuzz_check.h"
#include "serial/fake_serial_platform.h"
#include "settings/fake_settings_platform.h"
#include "settings/settings_reader.h"

namespace {

using namespace vornset;

void no_fatal_error(int) { FUZZ_FAIL("a settings failure must not end the process"); }

std::string upper_case_ascii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// The file as the reader must see it: lines end at CR or CR LF, a Ctrl-Z ends the data.
PortSettings expected_settings(std::string_view contents) {
  contents = contents.substr(0, contents.find('\x1a'));
  PortSettings settings;
  while (!contents.empty()) {
    const std::size_t end = std::min(contents.find('\r'), contents.size());
    const std::string_view line = contents.substr(0, end);
    const std::string upper = upper_case_ascii(line);
    if (const std::size_t at = upper.find("COM"); at != std::string::npos) {
      settings.port_text = line.substr(at + 3);
    }
    if (const std::size_t at = upper.find("BAUD"); at != std::string::npos) {
      settings.baud_text = line.substr(at + 4);
    }
    contents.remove_prefix(end);
    if (contents.starts_with("\r\n")) {
      contents.remove_prefix(2);
    } else if (!contents.empty()) {
      contents.remove_prefix(1);
    }
  }
  return settings;
}

bool is_tail_of_a_line(std::string_view text, std::string_view contents) {
  std::size_t at = 0;
  while ((at = contents.find(text, at)) != std::string_view::npos) {
    const std::size_t end = at + text.size();
    if (end == contents.size() || contents[end] == '\r' || contents[end] == '\x1a') return true;
    ++at;
  }
  return false;
}

constexpr int kErrors[] = {ENOENT, EACCES, EIO, ENOMEM, EINTR, EISDIR, ENAMETOOLONG, ELOOP};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  FakeSettingsPlatform platform;
  platform.delivery_limit = 1u + data[0] % settings_buffer_size;
  const std::size_t failing_call = data[1] & 0x0Fu;  // 0: none
  const CallOutcome failure = system_failure(static_cast<std::uint32_t>(kErrors[(data[1] >> 4) % 8]));
  if (failing_call != 0) platform.fail_call(failing_call, failure);
  platform.contents.assign(reinterpret_cast<const char*>(data + 2), size - 2);

  FileTable files;
  ErrorState errors(no_fatal_error);
  platform.table = &files;
  PortSettings settings;
  const SettingsOutcome outcome = read_settings("VornSet.ini", settings, platform, files, errors);

  FUZZ_CHECK(platform.open_handles == 0);
  FUZZ_CHECK(files.find(settings_file_number) == nullptr);
  // At least one read per delivery, one that finds the end, one for a CR LF across reads.
  const std::size_t most_reads = platform.contents.size() / platform.delivery_limit + 3;
  FUZZ_CHECK(platform.read_offsets.size() <= most_reads);
  for (std::size_t i = 1; i < platform.read_offsets.size(); ++i) {
    FUZZ_CHECK(platform.read_offsets[i] > platform.read_offsets[i - 1]);
  }

  const bool failure_hit = failing_call != 0 && failing_call <= platform.calls.size();
  if (failure_hit) {
    FUZZ_CHECK(errors.last() == failure.error_number);
    const std::string_view failed_call = platform.calls[failing_call - 1];
    if (failed_call == "search" || failed_call == "is_plain_file") {
      FUZZ_CHECK(outcome == SettingsOutcome::missing);
    } else if (failed_call != "close") {
      FUZZ_CHECK(outcome == SettingsOutcome::unreadable);
    }
    if (failed_call != "close") return 0;
  } else {
    FUZZ_CHECK(errors.count() == 0);
  }
  FUZZ_CHECK(outcome == SettingsOutcome::read);
  const PortSettings expected = expected_settings(platform.contents);
  FUZZ_CHECK(settings.port_text == expected.port_text);
  FUZZ_CHECK(settings.baud_text == expected.baud_text);
  FUZZ_CHECK(settings.port_text == "1" || is_tail_of_a_line(settings.port_text, platform.contents));
  FUZZ_CHECK(settings.baud_text == "9600" || is_tail_of_a_line(settings.baud_text, platform.contents));
  return 0;
}
