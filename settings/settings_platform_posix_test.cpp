#include "settings/settings_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "frame/error_number.h"
#include "frame/error_state.h"
#include "frame/file_table.h"
#include "settings/found_at_platform.h"
#include "settings/settings_reader.h"
#include "tests/support/temp_directory_posix.h"

namespace vornset {
namespace {

using testing_support::TempDirectory;

TEST(PosixSettingsPlatform, OnlyPlainFilesPassTheTest) {
  TempDirectory root;
  const std::string file = root.write_file("plain.ini", "COM3");
  const std::string directory = root.make_directory("directory.ini");
  ASSERT_EQ(::symlink(file.c_str(), root.file("link.ini").c_str()), 0);
  ASSERT_EQ(::symlink(directory.c_str(), root.file("link-to-directory.ini").c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", root.file("dangling.ini").c_str()), 0);
  ASSERT_EQ(::mkfifo(root.file("fifo.ini").c_str(), 0600), 0);
  const struct {
    const char* name;
    bool plain_file;
  } cases[] = {
      {"plain.ini", true},          {"link.ini", true},   {"directory.ini", false},
      {"link-to-directory.ini", false}, {"dangling.ini", false}, {"fifo.ini", false},
      {"absent.ini", false},        {"plain.ini/below", false},
  };
  for (const auto& row : cases) {
    bool plain_file = !row.plain_file;
    const CallOutcome outcome = system_settings_platform().is_plain_file(root.file(row.name), plain_file);
    EXPECT_FALSE(outcome.failed()) << row.name;
    EXPECT_EQ(plain_file, row.plain_file) << row.name;
  }
}

TEST(PosixSettingsPlatform, ReadsAFileWithCrLfLinesAcrossSeveralBuffers) {
  TempDirectory root;
  const std::string path = root.write_file(
      "VornSet.ini", "; " + std::string(300, '-') + "\r\nCOM/dev/ttyUSB0\r\nbaud 19200\r\n");
  FoundAtPlatform platform(path);
  PortSettings settings;
  ErrorState errors;
  FileTable files;
  EXPECT_EQ(read_settings("VornSet.ini", settings, platform, files, errors), SettingsOutcome::read);
  EXPECT_EQ(settings.port_text, "/dev/ttyUSB0");
  EXPECT_EQ(settings.baud_text, " 19200");
  EXPECT_EQ(errors.count(), 0);
  EXPECT_EQ(files.find(2), nullptr);
}

TEST(PosixSettingsPlatform, FailuresCarryTheSystemsErrors) {
  TempDirectory root;
  SettingsPlatform& platform = system_settings_platform();
  SettingsFileHandle handle = no_settings_file;
  CallOutcome outcome = platform.open(root.file("absent.ini"), handle);
  EXPECT_EQ(outcome.system_code, static_cast<std::uint32_t>(ENOENT));
  EXPECT_EQ(outcome.error_number, error_number::file_not_found);

  // A directory opens for reading but cannot be read: EISDIR, even for root.
  ASSERT_FALSE(platform.open(root.path(), handle).failed());
  SettingsBuffer buffer{};
  std::size_t delivered = 99;
  outcome = platform.read_at(handle, 0, buffer, delivered);
  EXPECT_EQ(outcome.system_code, static_cast<std::uint32_t>(EISDIR));
  EXPECT_EQ(outcome.error_number, error_number::path_file_access_error);
  EXPECT_EQ(delivered, 0u);
  EXPECT_FALSE(platform.close(handle).failed());
  EXPECT_TRUE(platform.close(handle).failed()) << "a closed descriptor";
}

TEST(PosixSettingsPlatform, AFifoInTheFilesPlaceDoesNotHangTheOpen) {
  TempDirectory root;
  const std::string fifo = root.file("VornSet.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ::alarm(10);  // a blocking open would otherwise hang the whole suite
  SettingsFileHandle handle = no_settings_file;
  const CallOutcome outcome = system_settings_platform().open(fifo, handle);
  ::alarm(0);
  ASSERT_FALSE(outcome.failed());
  system_settings_platform().close(handle);
}

TEST(PosixSettingsPlatform, AFileThatCannotBeOpenedIsUnreadable) {
  TempDirectory root;
  ASSERT_EQ(::chmod(root.path().c_str(), 0755), 0);  // only the file's own mode keeps its reader out
  const std::string path = root.write_file("VornSet.ini", "COM3\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  // Root opens files whatever their permissions: the read is made by a child that runs
  // as an unprivileged user, as the suites run as root.
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
    FoundAtPlatform platform(path);
    PortSettings settings;
    ErrorState errors;
    FileTable files;
    const bool unreadable = read_settings("VornSet.ini", settings, platform, files, errors) ==
                            SettingsOutcome::unreadable;
    ::_exit(unreadable && errors.last() == error_number::permission_denied ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: not unreadable with permission denied; 2: could not become another user";
}

// The real search, wired to this process: beside the executable first, then the
// current directory, then the user's configuration directory.
TEST(PosixSettingsPlatform, SearchesBesideTheProgramThenTheCurrentDirectoryThenTheUsers) {
  TempDirectory root;
  const std::string name = "settings-search-probe-" + std::to_string(::getpid()) + ".ini";
  char program[4096];
  const ssize_t length = ::readlink("/proc/self/exe", program, sizeof program - 1);
  ASSERT_GT(length, 0);
  std::string beside_program(program, static_cast<std::size_t>(length));
  beside_program = beside_program.substr(0, beside_program.rfind('/') + 1) + name;

  char previous_directory[4096];
  ASSERT_NE(::getcwd(previous_directory, sizeof previous_directory), nullptr);
  const char* previous_config = std::getenv("XDG_CONFIG_HOME");
  const std::string saved_config = previous_config != nullptr ? previous_config : "";
  ASSERT_EQ(::chdir(root.path().c_str()), 0);
  ::setenv("XDG_CONFIG_HOME", root.path().c_str(), 1);

  std::string full_path;
  EXPECT_FALSE(system_settings_platform().search(name, full_path).failed());
  EXPECT_EQ(full_path, "");
  root.make_directory("vornset");
  const std::string configured = root.write_file("vornset/" + name, "");
  system_settings_platform().search(name, full_path);
  EXPECT_EQ(full_path, configured);
  const std::string in_current = root.write_file(name, "");
  system_settings_platform().search(name, full_path);
  EXPECT_EQ(full_path, in_current);
  // The build directory may be closed to a test that runs as another user.
  const std::string program_directory = beside_program.substr(0, beside_program.rfind('/'));
  const bool may_write_beside_program = ::access(program_directory.c_str(), W_OK) == 0;
  if (may_write_beside_program) {
    TempDirectory::write_file_at(beside_program, "");
    system_settings_platform().search(name, full_path);
    EXPECT_EQ(full_path, beside_program);
    ::unlink(beside_program.c_str());
  }

  EXPECT_EQ(::chdir(previous_directory), 0);
  if (previous_config != nullptr) {
    ::setenv("XDG_CONFIG_HOME", saved_config.c_str(), 1);
  } else {
    ::unsetenv("XDG_CONFIG_HOME");
  }
  if (!may_write_beside_program) GTEST_SKIP() << "cannot write beside the test program";
}

}  // namespace
}  // namespace vornset
