#include "tests/support/program_run_posix.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <grp.h>
#include <pty.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "tests/support/temp_directory_posix.h"

namespace vornset::testing_support {
namespace {

void redirect(int fd, const std::string& path) {
  const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  dup2(file, fd);
  close(file);
}

[[noreturn]] void exec_child(const std::string& program, const RunOptions& options, int terminal,
                             const std::string& stdout_path, const std::string& stderr_path) {
  setsid();
  ioctl(terminal, TIOCSCTTY, 0);
  dup2(terminal, STDIN_FILENO);
  dup2(terminal, STDOUT_FILENO);
  dup2(terminal, STDERR_FILENO);
  switch (options.streams) {
    case Streams::terminal: break;
    case Streams::stdout_to_file: redirect(STDOUT_FILENO, stdout_path); break;
    case Streams::no_terminal:
      redirect(STDOUT_FILENO, stdout_path);
      redirect(STDERR_FILENO, stderr_path);
      break;
    case Streams::stdout_closed: close(STDOUT_FILENO); break;
    case Streams::stdout_full: redirect(STDOUT_FILENO, "/dev/full"); break;
  }
  if (terminal > STDERR_FILENO) close(terminal);
  if (!options.lock_directory.empty() || !options.sys_directory.empty() || !options.hosts_file.empty()) {
    // Private first: a bind mount must not spread back into the machine's namespace.
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      _exit(125);
    }
  }
  if (!options.lock_directory.empty()) {
    for (const char* place : {"/run/lock", "/var/lock"}) {
      struct stat status;
      if (lstat(place, &status) == 0 && S_ISDIR(status.st_mode) &&
          mount(options.lock_directory.c_str(), place, nullptr, MS_BIND, nullptr) != 0) {
        _exit(125);
      }
    }
  }
  if (!options.sys_directory.empty() && mount(options.sys_directory.c_str(), "/sys", nullptr, MS_BIND, nullptr) != 0) {
    _exit(125);
  }
  if (!options.hosts_file.empty() && mount(options.hosts_file.c_str(), "/etc/hosts", nullptr, MS_BIND, nullptr) != 0) {
    _exit(125);
  }
  if (options.user >= 0) {
    const auto id = static_cast<unsigned>(options.user);
    if (setgroups(0, nullptr) != 0 || setgid(id) != 0 || setuid(id) != 0) _exit(125);
  }
  if (chdir(options.working_directory.c_str()) != 0) _exit(126);

  std::vector<char*> argv{const_cast<char*>(program.c_str())};
  for (const auto& argument : options.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (const auto& variable : options.environment) envp.push_back(const_cast<char*>(variable.c_str()));
  envp.push_back(nullptr);
  execve(program.c_str(), argv.data(), envp.data());
  _exit(127);
}

}  // namespace

ProgramRun run_program(const std::string& program, const RunOptions& options) {
  ProgramRun run;
  TempDirectory scratch;
  const std::string stdout_path = scratch.file("stdout");
  const std::string stderr_path = scratch.file("stderr");
  winsize size{};
  size.ws_col = options.columns;
  size.ws_row = options.rows;
  int master = -1;
  int terminal = -1;
  if (openpty(&master, &terminal, nullptr, nullptr, &size) != 0) {
    ADD_FAILURE() << "openpty failed";
    return run;
  }
  // The test sees the program's own bytes: no output processing turns its "\r\n" into "\r\r\n".
  termios settings{};
  tcgetattr(terminal, &settings);
  settings.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
  tcsetattr(terminal, TCSANOW, &settings);
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) exec_child(program, options, terminal, stdout_path, stderr_path);
  close(terminal);

  auto elapsed_ms = [&] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start)
        .count();
  };
  bool interrupted = false;
  bool exited = false;
  bool hung_up = false;  // every holder of the terminal has closed it
  int status = 0;
  char buffer[4096];
  while (!(exited && hung_up)) {
    if (!interrupted && options.interrupt_after_milliseconds >= 0 &&
        elapsed_ms() >= options.interrupt_after_milliseconds) {
      kill(child, SIGINT);
      interrupted = true;
    }
    if (!exited && !run.timed_out && elapsed_ms() > options.timeout_milliseconds) {
      kill(child, SIGKILL);
      run.timed_out = true;
    }
    if (!hung_up) {
      pollfd readable{master, POLLIN, 0};
      if (poll(&readable, 1, 10) > 0) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got > 0) {
          run.terminal.append(buffer, static_cast<std::size_t>(got));
          continue;
        }
        hung_up = true;
      }
    } else {
      usleep(1000);
    }
    if (!exited && waitpid(child, &status, WNOHANG) == child) {
      exited = true;
      run.seconds = static_cast<double>(elapsed_ms()) / 1000.0;
    }
  }
  close(master);
  if (WIFEXITED(status)) run.exit_code = WEXITSTATUS(status);

  const auto read_back = [&](const std::string& path, std::string& into) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return;
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) into.append(buffer, got);
    std::fclose(file);
  };
  read_back(stdout_path, run.stdout_file);
  read_back(stderr_path, run.stderr_file);
  return run;
}

}  // namespace vornset::testing_support
