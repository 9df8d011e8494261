#include "settings/search_places.h"

#include <sys/stat.h>

#include <cerrno>

#include "settings/settings_platform.h"

namespace vornset {
namespace {

constexpr std::string_view system_config_directory = "/etc/vornset";

bool is_absolute(std::string_view path) { return !path.empty() && path.front() == '/'; }

// Errors that only say this place holds no such name (or may not be looked into).
bool means_not_here(std::uint32_t system_code) {
  switch (static_cast<int>(system_code)) {
    case ENOENT: case ENOTDIR: case EACCES: case ENAMETOOLONG: case ELOOP:
      return true;
    default:
      return false;
  }
}

}  // namespace

SearchPlaces::SearchPlaces(const SearchEnvironment& environment)
    : environment_(environment),
      // Without a known current directory, a relative path still finds it.
      current_directory_(environment.current_directory.empty() ? std::string_view(".")
                                                               : environment.current_directory),
      path_rest_(environment.path.value_or(std::string_view())) {}

bool SearchPlaces::next(SearchPlace& place) {
  for (;;) {
    switch (stage_) {
      case Stage::executable:
        stage_ = Stage::current;
        if (environment_.executable_directory.empty()) continue;
        place = {environment_.executable_directory, {}};
        return true;
      case Stage::current:
        stage_ = Stage::user_config;
        place = {current_directory_, {}};
        return true;
      case Stage::user_config:
        stage_ = Stage::system_config;
        // ${XDG_CONFIG_HOME:-$HOME/.config}; a relative value is no valid base and is
        // ignored, as the base-directory convention asks.
        if (is_absolute(environment_.xdg_config_home)) {
          place = {environment_.xdg_config_home, "/vornset"};
          return true;
        }
        if (is_absolute(environment_.home)) {
          place = {environment_.home, "/.config/vornset"};
          return true;
        }
        continue;
      case Stage::system_config:
        stage_ = environment_.path ? Stage::path : Stage::done;
        place = {system_config_directory, {}};
        return true;
      case Stage::path: {
        const std::size_t colon = path_rest_.find(':');
        const std::string_view entry = path_rest_.substr(0, colon);
        if (colon == std::string_view::npos) {
          stage_ = Stage::done;
        } else {
          path_rest_.remove_prefix(colon + 1);
        }
        place = {entry.empty() ? current_directory_ : entry, {}};
        return true;
      }
      case Stage::done:
        return false;
    }
  }
}

void join_search_place(const SearchPlace& place, std::string_view name, std::string& path) {
  // Room for the whole path at once, so that the appends below never move it again.
  path.reserve(place.directory.size() + place.subdirectory.size() + 1 + name.size());
  path.assign(place.directory);
  path.append(place.subdirectory);
  if (path.empty() || path.back() != '/') path.push_back('/');
  path.append(name);
}

bool look_in_search_place(const SearchPlace& place, std::string_view name,
                          std::string& full_path, CallOutcome& outcome) {
  join_search_place(place, name, full_path);
  // lstat: a symbolic link by that name is what this place holds, even a dangling one.
  struct stat status {};
  outcome = {};
  const int result = guarded_call([&] { return ::lstat(full_path.c_str(), &status); }, outcome);
  if (result == 0) {
    outcome = {};
    return true;
  }
  outcome = judged_outcome(false, outcome);
  if (means_not_here(outcome.system_code)) return false;
  full_path.clear();
  return true;
}

CallOutcome find_in_search_places(const SearchEnvironment& environment, std::string_view name,
                                  std::string& full_path) {
  SearchPlaces places(environment);
  SearchPlace place;
  CallOutcome outcome;
  while (places.next(place)) {
    if (look_in_search_place(place, name, full_path, outcome)) return outcome;
  }
  full_path.clear();
  return {};
}

}  // namespace vornset
