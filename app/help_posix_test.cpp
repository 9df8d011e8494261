#include "app/help.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "settings/search_places.h"

namespace vornset {
namespace {

// The usage's words for each place the search can take.
std::vector<std::string> places_in_usage_words(const SearchEnvironment& environment) {
  const std::map<std::string, std::string> words = {
      {"/exe", "the directory that holds the vornset program"},
      {"/cwd", "the current directory"},
      {"/xdg/vornset", "${XDG_CONFIG_HOME:-$HOME/.config}/vornset"},
      {"/home/.config/vornset", "${XDG_CONFIG_HOME:-$HOME/.config}/vornset"},
      {"/etc/vornset", "/etc/vornset"},
      {"/path1", "each directory of PATH, in order"},
      {"/path2", "each directory of PATH, in order"},
  };
  std::vector<std::string> described;
  SearchPlaces places(environment);
  SearchPlace place;
  while (places.next(place)) {
    const std::string directory = std::string(place.directory) + std::string(place.subdirectory);
    const auto found = words.find(directory);
    EXPECT_NE(found, words.end()) << "a place the usage does not name: " << directory;
    if (found == words.end()) continue;
    if (described.empty() || described.back() != found->second) described.push_back(found->second);
  }
  return described;
}

TEST(HelpPosix, UsageListsTheSettingsPlacesInTheOrderTheyAreSearched) {
  SearchEnvironment environment;
  environment.executable_directory = "/exe";
  environment.current_directory = "/cwd";
  environment.home = "/home";
  environment.path = "/path1:/path2";
  const std::vector<std::string> without_xdg = places_in_usage_words(environment);
  environment.xdg_config_home = "/xdg";
  const std::vector<std::string> with_xdg = places_in_usage_words(environment);
  EXPECT_EQ(with_xdg, without_xdg);

  const std::string usage = usage_text(kPlatformHelpConventions);
  std::size_t number = 0;
  for (const std::string& words : with_xdg) {
    EXPECT_NE(usage.find(std::to_string(++number) + ". " + words + "\n"), std::string::npos)
        << "not place " << number << " in the usage: " << words;
  }
  EXPECT_EQ(number, 5U);
  EXPECT_EQ(usage.find(std::to_string(number + 1) + ". "), std::string::npos);
}

}  // namespace
}  // namespace vornset
