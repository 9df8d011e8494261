#include "settings/settings_platform.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "frame/error_number.h"
#include "frame/error_state.h"
#include "frame/file_table.h"
#include "settings/found_at_platform.h"
#include "settings/settings_reader.h"

namespace vornset {
namespace {

namespace fs = std::filesystem;

// A fresh directory in the system's temporary directory, removed when the test ends.
class ScratchDirectory {
 public:
  ScratchDirectory() {
    path_ = fs::temp_directory_path() / ("vornset-settings-" + std::to_string(GetCurrentProcessId()));
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDirectory() {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(path_, ignored)) {
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(path_, ignored);
  }
  // The 8-bit path the reader works with (the test uses ASCII names only).
  std::string file(const std::string& name) const { return (path_ / name).string(); }
  std::string write(const std::string& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
    return file(name);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

TEST(Win32SettingsPlatform, HiddenSystemAndDirectoryEntriesDoNotPass) {
  ScratchDirectory scratch;
  const struct {
    const char* name;
    DWORD attributes;  // 0: a directory
    bool plain_file;
  } cases[] = {
      {"plain.ini", FILE_ATTRIBUTE_NORMAL, true},
      {"read-only.ini", FILE_ATTRIBUTE_READONLY, true},
      {"archive.ini", FILE_ATTRIBUTE_ARCHIVE, true},
      {"hidden.ini", FILE_ATTRIBUTE_HIDDEN, false},
      {"system.ini", FILE_ATTRIBUTE_SYSTEM, false},
      {"directory.ini", 0, false},
  };
  for (const auto& row : cases) {
    if (row.attributes == 0) {
      fs::create_directory(scratch.path() / row.name);
    } else {
      scratch.write(row.name, "COM3");
      SetFileAttributesW((scratch.path() / row.name).c_str(), row.attributes);
    }
    bool plain_file = !row.plain_file;
    const CallOutcome outcome = system_settings_platform().is_plain_file(scratch.file(row.name), plain_file);
    EXPECT_FALSE(outcome.failed()) << row.name;
    EXPECT_EQ(plain_file, row.plain_file) << row.name;
  }
  bool plain_file = true;
  EXPECT_FALSE(system_settings_platform().is_plain_file(scratch.file("absent.ini"), plain_file).failed());
  EXPECT_FALSE(plain_file);
  release_settings_search();
  release_settings_search();  // the second call finds nothing left to close
}

TEST(Win32SettingsPlatform, ReadsAFileWithCrLfLinesAcrossSeveralBuffers) {
  ScratchDirectory scratch;
  const std::string path = scratch.write(
      "VornSet.ini", "; " + std::string(300, '-') + "\r\nCOM12\r\nbaud 19200\r\n");
  FoundAtPlatform platform(path);
  PortSettings settings;
  ErrorState errors;
  FileTable files;
  EXPECT_EQ(read_settings("VornSet.ini", settings, platform, files, errors), SettingsOutcome::read);
  EXPECT_EQ(settings.port_text, "12");
  EXPECT_EQ(settings.baud_text, " 19200");
  EXPECT_EQ(errors.count(), 0);
  release_settings_search();
}

TEST(Win32SettingsPlatform, AFileHeldByAnotherProgramIsUnreadable) {
  ScratchDirectory scratch;
  const std::string path = scratch.write("VornSet.ini", "COM3\r\n");
  // Even a holder that shares everything keeps out an open that shares nothing.
  const HANDLE holder = CreateFileW((scratch.path() / "VornSet.ini").c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  FoundAtPlatform platform(path);
  PortSettings settings;
  ErrorState errors;
  FileTable files;
  EXPECT_EQ(read_settings("VornSet.ini", settings, platform, files, errors),
            SettingsOutcome::unreadable);
  EXPECT_EQ(errors.last(), error_number::permission_denied);  // ERROR_SHARING_VIOLATION
  CloseHandle(holder);
  release_settings_search();
}

TEST(Win32SettingsPlatform, RefusedNamesAndMissingFiles) {
  ScratchDirectory scratch;
  const struct {
    std::string path;
    int number;
  } cases[] = {
      {"", error_number::bad_file_name},
      {scratch.file("*.ini"), error_number::bad_file_name},
      {scratch.file("Vorn?et.ini"), error_number::bad_file_name},
      {scratch.file("absent.ini"), error_number::file_not_found},
      {scratch.file("absent\\VornSet.ini"), error_number::path_not_found},
  };
  for (const auto& row : cases) {
    SettingsFileHandle handle = no_settings_file;
    const CallOutcome outcome = system_settings_platform().open(row.path, handle);
    EXPECT_EQ(outcome.error_number, row.number) << row.path;
    EXPECT_EQ(handle, no_settings_file) << row.path;
  }
}

TEST(Win32SettingsPlatform, TheSystemSearchFindsTheFileInTheCurrentDirectory) {
  ScratchDirectory scratch;
  const std::string name = "settings-search-probe-" + std::to_string(GetCurrentProcessId()) + ".ini";
  std::string full_path = "stale";
  EXPECT_FALSE(system_settings_platform().search(name, full_path).failed());
  EXPECT_EQ(full_path, "");

  const fs::path previous = fs::current_path();
  fs::current_path(scratch.path());
  scratch.write(name, "COM3");
  EXPECT_FALSE(system_settings_platform().search(name, full_path).failed());
  fs::current_path(previous);
  ASSERT_FALSE(full_path.empty());
  EXPECT_TRUE(fs::equivalent(full_path, scratch.path() / name)) << full_path;
}

}  // namespace
}  // namespace vornset
