#include "settings/settings_platform.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "settings/search_places.h"

namespace vornset {
namespace {

std::string_view variable(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string_view(value) : std::string_view();
}

// The directory that holds the running program, or empty when the system will not say.
std::string_view executable_directory(char (&buffer)[PATH_MAX]) {
  const ssize_t length = ::readlink("/proc/self/exe", buffer, sizeof buffer);
  if (length <= 0 || static_cast<std::size_t>(length) >= sizeof buffer) return {};
  const std::string_view program(buffer, static_cast<std::size_t>(length));
  const std::size_t slash = program.rfind('/');
  if (slash == std::string_view::npos) return {};
  return slash == 0 ? program.substr(0, 1) : program.substr(0, slash);
}

class PosixSettingsPlatform final : public SettingsPlatform {
 public:
  CallOutcome search(std::string_view name, std::string& full_path) override {
    char program[PATH_MAX];
    // Nearly every run finds the file beside the program, so the places after it, which
    // cost a system call and scans of the environment to work out, wait until it is not
    // there. The search then goes on without the program's directory.
    const SearchPlace beside_program{executable_directory(program), {}};
    CallOutcome outcome;
    if (!beside_program.directory.empty() &&
        look_in_search_place(beside_program, name, full_path, outcome)) {
      return outcome;
    }
    char current[PATH_MAX];
    SearchEnvironment environment;
    if (::getcwd(current, sizeof current) != nullptr) environment.current_directory = current;
    environment.xdg_config_home = variable("XDG_CONFIG_HOME");
    environment.home = variable("HOME");
    if (const char* path = std::getenv("PATH")) environment.path = path;
    return find_in_search_places(environment, name, full_path);
  }

  // A symbolic link counts as what it points to; one that points nowhere, as nothing.
  CallOutcome is_plain_file(const std::string& full_path, bool& plain_file) override {
    struct stat status {};
    CallOutcome outcome;
    const int result = guarded_call([&] { return ::stat(full_path.c_str(), &status); }, outcome);
    plain_file = result == 0 && S_ISREG(status.st_mode);
    if (result == 0) return {};
    outcome = judged_outcome(false, outcome);
    const int err = static_cast<int>(outcome.system_code);
    if (err == ENOENT || err == ENOTDIR || err == ELOOP) return {};
    return outcome;
  }

  // O_NONBLOCK: a FIFO put in the file's place after the test must not hang the run on
  // the open; it then fails the first read. Plain files ignore the flag.
  CallOutcome open(const std::string& full_path, SettingsFileHandle& handle) override {
    CallOutcome outcome;
    int fd = -1;
    do {
      fd = guarded_call(
          [&] { return ::open(full_path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK); },
          outcome);
    } while (fd < 0 && outcome.system_code == EINTR);
    handle = fd;
    return judged_outcome(fd >= 0, outcome);
  }

  // One pread per refill (repeated only when a signal cut it short): it reads at the
  // absolute offset without depending on a file position.
  CallOutcome read_at(SettingsFileHandle handle, std::uint64_t offset, SettingsBuffer& buffer,
                      std::size_t& delivered) override {
    CallOutcome outcome;
    ssize_t result = -1;
    do {
      result = guarded_call(
          [&] {
            return ::pread(static_cast<int>(handle), buffer.data(), buffer.size(),
                           static_cast<off_t>(offset));
          },
          outcome);
    } while (result < 0 && outcome.system_code == EINTR);
    delivered = result > 0 ? static_cast<std::size_t>(result) : 0;
    return judged_outcome(result >= 0, outcome);
  }

  CallOutcome close(SettingsFileHandle handle) override {
    CallOutcome outcome;
    const int result = guarded_call([&] { return ::close(static_cast<int>(handle)); }, outcome);
    return judged_outcome(result == 0, outcome);
  }
};

}  // namespace

SettingsPlatform& system_settings_platform() {
  static PosixSettingsPlatform platform;
  return platform;
}

// The search leaves nothing open on POSIX systems.
void release_settings_search() {}

}  // namespace vornset
