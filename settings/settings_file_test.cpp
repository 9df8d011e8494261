#include "settings/settings_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/error_number.h"
#include "frame/error_state.h"
#include "settings/fake_settings_platform.h"

namespace vornset {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

// Reads the file to its end the way the settings reader does.
Lines read_all_lines(FakeSettingsPlatform& platform, ErrorState& errors) {
  FileTable files;
  SettingsFile file(platform, files, errors);
  Lines lines;
  if (!file.open(platform.found_path)) return lines;
  std::string line;
  while (!file.at_end()) {
    if (!file.read_line(line)) break;
    lines.push_back(line);
  }
  return lines;
}

std::string repeated(char byte, std::size_t count) { return std::string(count, byte); }

struct LineCase {
  const char* name;
  std::string contents;
  Lines lines;
};

const LineCase line_cases[] = {
    {"cr lf", "COM3\r\nBAUD 4800\r\n", {"COM3", "BAUD 4800"}},
    {"cr alone", "COM3\rBAUD 4800\r", {"COM3", "BAUD 4800"}},
    {"lf alone is an ordinary byte", "COM3\nBAUD19200\n", {"COM3\nBAUD19200\n"}},
    {"cr cr lf gives an empty line", "COM3\r\r\nX\r\n", {"COM3", "", "X"}},
    {"lf cr", "A\n\rB", {"A\n", "B"}},
    {"last line without line end", "COM3\r\nBAUD 4800", {"COM3", "BAUD 4800"}},
    {"empty file", "", {}},
    {"only a line end", "\r\n", {""}},
    {"ctrl-z ends the reading", "COM3\x1a" "BAUD4800\r\n", {"COM3"}},
    {"ctrl-z at the start", "\x1a" "COM3\r\n", {}},
    {"ctrl-z after a line end", "COM3\r\n\x1a\r\nBAUD1", {"COM3"}},
    {"zero bytes and tabs belong to the line", "C\0O\0M\0\t\r\n"s, {"C\0O\0M\0\t"s}},
    {"cr lf split by the buffer boundary", repeated('a', 127) + "\r\nB", {repeated('a', 127), "B"}},
    {"cr as the last byte of a full buffer", repeated('a', 127) + "\r", {repeated('a', 127)}},
    {"cr lf exactly filling the buffer", repeated('a', 126) + "\r\nB", {repeated('a', 126), "B"}},
    {"lines that span several buffers",
     repeated('x', 700) + "\r\n" + repeated('y', 256) + "\r\n" + repeated('z', 255),
     {repeated('x', 700), repeated('y', 256), repeated('z', 255)}},
};

TEST(SettingsFileLines, LineEndsAndLengthsAtEveryReadSize) {
  // Short reads move every line end onto other buffer boundaries.
  for (const std::size_t read_size : {settings_buffer_size, std::size_t{5}, std::size_t{1}}) {
    for (const LineCase& row : line_cases) {
      FakeSettingsPlatform platform;
      platform.contents = row.contents;
      platform.delivery_limit = read_size;
      ErrorState errors;
      EXPECT_EQ(read_all_lines(platform, errors), row.lines) << row.name << ", reads of " << read_size;
      EXPECT_EQ(errors.count(), 0) << row.name;
      EXPECT_EQ(platform.open_handles, 0) << row.name;
    }
  }
}

TEST(SettingsFileLines, EachRefillReadsFromTheNextUnreadByte) {
  struct {
    std::size_t size;
    std::size_t read_size;
    std::vector<std::uint64_t> offsets;
  } const cases[] = {
      {300, 128, {0, 128, 256, 300}},
      {300, 100, {0, 100, 200, 300}},
      {256, 128, {0, 128, 256}},
      {0, 128, {0}},
  };
  for (const auto& row : cases) {
    FakeSettingsPlatform platform;
    platform.contents = repeated('a', row.size);
    platform.delivery_limit = row.read_size;
    ErrorState errors;
    read_all_lines(platform, errors);
    EXPECT_EQ(platform.read_offsets, row.offsets) << row.size << " bytes, reads of " << row.read_size;
  }
}

TEST(SettingsFileLines, TheFileIsNumberTwoInTheTableWhileOpen) {
  FakeSettingsPlatform platform;
  platform.contents = "COM3\r\n";
  ErrorState errors;
  FileTable files;
  platform.table = &files;
  {
    SettingsFile file(platform, files, errors);
    ASSERT_TRUE(file.open(platform.found_path));
    const OpenFile* entry = files.find(settings_file_number);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->kind, FileKind::settings_file);
    file.close();
    EXPECT_TRUE(platform.listed_at_close);
    EXPECT_EQ(files.find(settings_file_number), nullptr);
    file.close();  // closing what is closed does nothing
  }
  EXPECT_EQ(platform.open_handles, 0);
  EXPECT_EQ(errors.count(), 0);
}

TEST(SettingsFileLines, ANumberAlreadyOpenIsRefusedAndTheHandleLetGo) {
  FakeSettingsPlatform platform;
  ErrorState errors;
  FileTable files;
  OpenFile other{settings_file_number, FileKind::serial_port};
  ASSERT_TRUE(files.add(other, errors));
  SettingsFile file(platform, files, errors);
  EXPECT_FALSE(file.open(platform.found_path));
  EXPECT_EQ(errors.last(), error_number::file_already_open);
  EXPECT_EQ(files.find(settings_file_number), &other);
  EXPECT_EQ(platform.open_handles, 0);
}

}  // namespace
}  // namespace vornset
