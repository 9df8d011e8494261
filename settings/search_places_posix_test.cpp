#include "settings/search_places.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/support/temp_directory_posix.h"

namespace vornset {
namespace {

using testing_support::TempDirectory;
using Paths = std::vector<std::string>;

constexpr std::string_view name = "VornSet.ini";

Paths places_of(const SearchEnvironment& environment) {
  Paths paths;
  SearchPlaces places(environment);
  SearchPlace place;
  std::string path;
  while (places.next(place)) {
    join_search_place(place, name, path);
    paths.push_back(path);
  }
  return paths;
}

TEST(SearchPlaces, ComeInTheirOrder) {
  struct {
    const char* name;
    SearchEnvironment environment;
    Paths paths;
  } const cases[] = {
      {"everything set",
       {"/opt/vs", "/home/u/work", "/home/u/.cfg", "/home/u", "/usr/bin:/bin/"},
       {"/opt/vs/VornSet.ini", "/home/u/work/VornSet.ini", "/home/u/.cfg/vornset/VornSet.ini",
        "/etc/vornset/VornSet.ini", "/usr/bin/VornSet.ini", "/bin/VornSet.ini"}},
      {"configuration under home",
       {"/opt/vs", "/w", "", "/home/u", std::nullopt},
       {"/opt/vs/VornSet.ini", "/w/VornSet.ini", "/home/u/.config/vornset/VornSet.ini",
        "/etc/vornset/VornSet.ini"}},
      {"a relative configuration base is ignored",
       {"/opt/vs", "/w", "cfg", "/home/u", std::nullopt},
       {"/opt/vs/VornSet.ini", "/w/VornSet.ini", "/home/u/.config/vornset/VornSet.ini",
        "/etc/vornset/VornSet.ini"}},
      {"no usable configuration base",
       {"/opt/vs", "/w", "", "home", std::nullopt},
       {"/opt/vs/VornSet.ini", "/w/VornSet.ini", "/etc/vornset/VornSet.ini"}},
      {"empty path entries are the current directory",
       {"/", "/w", "", "", ":bin::/sbin:"},
       {"/VornSet.ini", "/w/VornSet.ini", "/etc/vornset/VornSet.ini", "/w/VornSet.ini",
        "bin/VornSet.ini", "/w/VornSet.ini", "/sbin/VornSet.ini", "/w/VornSet.ini"}},
      {"an empty path is the current directory",
       {"/opt/vs", "/w", "", "", ""},
       {"/opt/vs/VornSet.ini", "/w/VornSet.ini", "/etc/vornset/VornSet.ini", "/w/VornSet.ini"}},
      {"directories the system would not tell",
       {"", "", "", "", "/bin"},
       {"./VornSet.ini", "/etc/vornset/VornSet.ini", "/bin/VornSet.ini"}},
  };
  for (const auto& row : cases) {
    EXPECT_EQ(places_of(row.environment), row.paths) << row.name;
  }
}

// Four places: the executable's directory, the current directory, the user's
// configuration directory (which the test leaves out), then one PATH directory.
class SearchInDirectories : public testing::Test {
 protected:
  SearchInDirectories()
      : executable(root.make_directory("exe")),
        current(root.make_directory("cwd")),
        configuration(root.file("config")),
        in_path(root.make_directory("bin")) {
    environment = {executable, current, configuration, "", in_path};
  }

  std::string found() {
    std::string full_path = "stale";
    const CallOutcome outcome = find_in_search_places(environment, name, full_path);
    EXPECT_FALSE(outcome.failed()) << outcome.system_code;
    return full_path;
  }

  TempDirectory root;
  std::string executable, current, configuration, in_path;
  SearchEnvironment environment;
};

TEST_F(SearchInDirectories, TheFirstPlaceHoldingTheNameWins) {
  if (::access("/etc/vornset/VornSet.ini", F_OK) == 0) {
    GTEST_SKIP() << "this machine has a system-wide settings file, which comes before PATH";
  }
  EXPECT_EQ(found(), "");
  const std::string in_path_file = root.write_file("bin/VornSet.ini", "COM2");
  EXPECT_EQ(found(), in_path_file);
  root.make_directory("config/vornset");
  const std::string configured = root.write_file("config/vornset/VornSet.ini", "COM3");
  EXPECT_EQ(found(), configured);
  const std::string beside_program = root.write_file("exe/VornSet.ini", "COM4");
  EXPECT_EQ(found(), beside_program);
}

TEST_F(SearchInDirectories, WhatTheFirstPlaceHoldsWinsEvenWhenItIsNoFile) {
  root.write_file("bin/VornSet.ini", "COM2");
  const std::string directory = root.make_directory("cwd/VornSet.ini");
  EXPECT_EQ(found(), directory);
  ASSERT_EQ(::rmdir(directory.c_str()), 0);
  ASSERT_EQ(::symlink("nowhere", directory.c_str()), 0);
  EXPECT_EQ(found(), directory) << "a dangling link is still what the place holds";
}

TEST_F(SearchInDirectories, TheNameIsCaseSensitiveAndUnsearchablePlacesArePassedOver) {
  root.write_file("cwd/vornset.ini", "COM2");
  // A plain file where a directory is expected gives ENOTDIR.
  executable = root.write_file("exe-file", "");
  environment.executable_directory = executable;
  const std::string in_path_file = root.write_file("bin/VornSet.ini", "COM3");
  EXPECT_EQ(found(), in_path_file);
}

TEST(SearchInDirectoriesFailure, APathTooLongForTheSystemIsPassedOver) {
  const std::string long_directory = "/" + std::string(5000, 'd');  // ENAMETOOLONG
  SearchEnvironment environment{long_directory, "/nonexistent-cwd", "", "", std::nullopt};
  std::string full_path;
  EXPECT_FALSE(find_in_search_places(environment, name, full_path).failed());
  EXPECT_EQ(full_path, "");
}

}  // namespace
}  // namespace vornset
