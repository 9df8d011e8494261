#include "settings/settings_reader.h"

#include <gtest/gtest.h>

#include <string>

#include "frame/error_number.h"
#include "frame/error_state.h"
#include "frame/file_table.h"
#include "settings/fake_settings_platform.h"

namespace vornset {
namespace {

constexpr std::string_view file_name = "VornSet.ini";

struct FileCase {
  const char* name;
  std::string contents;
  std::string port_text;
  std::string baud_text;
};

const FileCase file_cases[] = {
    {"both keys", "COM3\r\nBAUD 19200\r\n", "3", " 19200"},
    {"a later line wins", "COM3\r\nCOM4\r\n", "4", "9600"},
    {"a later key-like word wins", "COM3\r\nNo comment\r\n", "ment", "9600"},
    {"lines ended by lf alone are one line", "COM3\nBAUD19200\n", "3\nBAUD19200\n", "19200\n"},
    {"last line without line end", "BAUD 4800", "1", " 4800"},
    {"nothing behind ctrl-z is read", "COM3\x1a" "BAUD4800", "3", "9600"},
    {"utf-8 signature", "\xEF\xBB\xBF" "COM3\r\nBAUD 4800\r\n", "3", " 4800"},
    {"utf-16 with signature",
     std::string("\xFF\xFE" "C\0O\0M\0" "3\0\r\0\n\0", 14), "1", "9600"},
    {"empty file", "", "1", "9600"},
    {"neither key", "[port]\r\nspeed=4800\r\n", "1", "9600"},
};

TEST(ReadSettings, FilesGiveTheTextsOfTheirLastKeys) {
  for (const FileCase& row : file_cases) {
    FakeSettingsPlatform platform;
    platform.contents = row.contents;
    PortSettings settings;
    ErrorState errors;
    FileTable files;
    EXPECT_EQ(read_settings(file_name, settings, platform, files, errors), SettingsOutcome::read)
        << row.name;
    EXPECT_EQ(settings.port_text, row.port_text) << row.name;
    EXPECT_EQ(settings.baud_text, row.baud_text) << row.name;
    EXPECT_EQ(platform.opened_path, platform.found_path) << row.name;
    EXPECT_EQ(errors.count(), 0) << row.name;
  }
}

TEST(ReadSettings, NoPlainFileInTheFirstPlaceIsMissing) {
  struct {
    const char* name;
    std::string found_path;
    bool plain_file;
  } const cases[] = {
      {"not found", "", true},
      {"a directory or hidden file of that name", "C:\\VORNSET\\VornSet.ini", false},
  };
  for (const auto& row : cases) {
    FakeSettingsPlatform platform;
    platform.found_path = row.found_path;
    platform.plain_file = row.plain_file;
    PortSettings settings;
    ErrorState errors;
    FileTable files;
    EXPECT_EQ(read_settings(file_name, settings, platform, files, errors), SettingsOutcome::missing)
        << row.name;
    EXPECT_EQ(platform.open_handles, 0) << row.name;
    EXPECT_TRUE(platform.opened_path.empty()) << row.name;
    EXPECT_EQ(errors.count(), 0) << row.name;
  }
}

// The calls of a file of 200 bytes: search, is_plain_file, open, read_at 0,
// read_at 128, read_at 200 (end of data), close.
TEST(ReadSettings, EveryFailingCallIsRecordedAndNeverLetsTheDefaultsThrough) {
  struct {
    std::size_t failing_call;
    CallOutcome failure;
    SettingsOutcome outcome;
    std::size_t calls_made;  // an opened file is always closed
  } const cases[] = {
      {1, {8, error_number::out_of_memory}, SettingsOutcome::missing, 1},
      {2, {5, error_number::permission_denied}, SettingsOutcome::missing, 2},
      {3, {32, error_number::permission_denied}, SettingsOutcome::unreadable, 3},  // held elsewhere
      {3, {2, error_number::file_not_found}, SettingsOutcome::unreadable, 3},      // went away
      {4, {23, error_number::disk_media_error}, SettingsOutcome::unreadable, 5},
      {5, {23, error_number::disk_media_error}, SettingsOutcome::unreadable, 6},
      {6, {4, error_number::path_file_access_error}, SettingsOutcome::unreadable, 7},  // interrupted
      {7, {6, error_number::unnumbered}, SettingsOutcome::read, 7},  // everything was read
  };
  for (const auto& row : cases) {
    FakeSettingsPlatform platform;
    platform.contents = "COM3\r\n" + std::string(194, ' ');
    platform.fail_call(row.failing_call, row.failure);
    PortSettings settings;
    ErrorState errors;
    FileTable files;
    platform.table = &files;
    EXPECT_EQ(read_settings(file_name, settings, platform, files, errors), row.outcome)
        << "call " << row.failing_call;
    EXPECT_EQ(errors.last(), row.failure.error_number) << "call " << row.failing_call;
    EXPECT_EQ(errors.count(), 1) << "call " << row.failing_call;
    EXPECT_EQ(platform.calls.size(), row.calls_made) << "call " << row.failing_call;
    EXPECT_EQ(platform.open_handles, 0) << "call " << row.failing_call;
    EXPECT_EQ(files.find(2), nullptr) << "call " << row.failing_call;
  }
}

TEST(ReadSettings, AFileOverOneMebibyteIsUnreadableWithoutItsLineGrowingFurther) {
  constexpr std::size_t limit = settings_file_size_limit;
  struct {
    const char* name;
    std::size_t size;          // "COM3", then blanks without a line end
    std::size_t ctrl_z_at;     // 0: none
    std::size_t delivery_limit;
    SettingsOutcome outcome;
  } const cases[] = {
      {"exactly the limit", limit, 0, settings_buffer_size, SettingsOutcome::read},
      {"one byte over", limit + 1, 0, settings_buffer_size, SettingsOutcome::unreadable},
      {"one byte over, in short reads", limit + 1, 0, 7, SettingsOutcome::unreadable},
      {"far over", 4 * limit, 0, settings_buffer_size, SettingsOutcome::unreadable},
      {"over, but ctrl-z ends the data before the limit", 4 * limit, 100, settings_buffer_size,
       SettingsOutcome::read},
  };
  for (const auto& row : cases) {
    FakeSettingsPlatform platform;
    platform.contents = "COM3" + std::string(row.size - 4, ' ');
    if (row.ctrl_z_at != 0) platform.contents[row.ctrl_z_at] = '\x1a';
    platform.delivery_limit = row.delivery_limit;
    PortSettings settings;
    ErrorState errors;
    FileTable files;
    EXPECT_EQ(read_settings(file_name, settings, platform, files, errors), row.outcome) << row.name;
    // Reading stops at the first read that goes past the limit.
    EXPECT_LE(platform.read_offsets.back(), limit) << row.name;
    EXPECT_LE(settings.port_text.size(), limit) << row.name;
    EXPECT_EQ(platform.open_handles, 0) << row.name;
    EXPECT_EQ(errors.count(), row.outcome == SettingsOutcome::read ? 0 : 1) << row.name;
    if (row.outcome == SettingsOutcome::unreadable) {
      EXPECT_EQ(errors.last(), error_number::out_of_memory) << row.name;
    }
  }
}

}  // namespace
}  // namespace vornset
