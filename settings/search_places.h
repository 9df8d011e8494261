#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "frame/guarded_call.h"

namespace vornset {

// What decides where the settings file is looked for on a POSIX system.
struct SearchEnvironment {
  std::string_view executable_directory;  // empty when the system would not tell
  std::string_view current_directory;     // empty when the system would not tell
  std::string_view xdg_config_home;       // empty when unset
  std::string_view home;                  // empty when unset
  std::optional<std::string_view> path;   // the PATH variable; none when unset
};

// One place to look: `directory` followed by `subdirectory` (which may be empty).
struct SearchPlace {
  std::string_view directory;
  std::string_view subdirectory;
};

// The places in the order they are searched: the directory of the executable, the
// current directory, the user's configuration directory, the system's, then each
// directory of PATH. An empty PATH entry is the current directory, as the shell takes it.
class SearchPlaces {
 public:
  explicit SearchPlaces(const SearchEnvironment& environment);

  // The next place; false after the last.
  bool next(SearchPlace& place);

 private:
  enum class Stage { executable, current, user_config, system_config, path, done };

  const SearchEnvironment& environment_;
  std::string_view current_directory_;
  Stage stage_ = Stage::executable;
  std::string_view path_rest_;
};

// `place`'s directory path with `name` in it, in `path`.
void join_search_place(const SearchPlace& place, std::string_view name, std::string& path);

// Looks for `name` in `place` alone: true when that ends the search, because the place
// holds something called `name` (`full_path` is then its path) or could not be looked
// into for a reason other than not holding it (`outcome` says why, `full_path` is empty).
bool look_in_search_place(const SearchPlace& place, std::string_view name,
                          std::string& full_path, CallOutcome& outcome);

// Walks the places until one holds something called `name`, whatever it is; `full_path`
// is then its path, or empty when no place holds the name. A place that cannot be looked
// into is passed over, as the shell passes over such PATH entries; any other failure to
// look ends the search as failed.
CallOutcome find_in_search_places(const SearchEnvironment& environment, std::string_view name,
                                  std::string& full_path);

}  // namespace vornset
