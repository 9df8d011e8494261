#include "frame/terminal_posix.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "frame/console_output.h"
#include "frame/exit_sequence.h"

namespace vornset {
namespace {

constexpr std::string_view kReset = "\x1b[0m";

// A pseudo-terminal whose terminal side stands in for the user's console. Output
// processing is off, so the test reads exactly the bytes that were written.
class Pty {
 public:
  explicit Pty(unsigned short columns) {
    winsize size{};
    size.ws_row = 24;
    size.ws_col = columns;
    EXPECT_EQ(openpty(&controller_, &terminal_, nullptr, nullptr, &size), 0);
    termios settings{};
    tcgetattr(terminal_, &settings);
    cfmakeraw(&settings);
    tcsetattr(terminal_, TCSANOW, &settings);
  }
  ~Pty() {
    close(controller_);
    close(terminal_);
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;

  int terminal() const { return terminal_; }

  // Everything written so far. A marker sent behind it shows when all has arrived.
  std::string shown() {
    constexpr std::string_view kMarker = "\x01end of test output\x02";
    EXPECT_EQ(write(terminal_, kMarker.data(), kMarker.size()),
              static_cast<ssize_t>(kMarker.size()));
    std::string bytes;
    pollfd ready{controller_, POLLIN, 0};
    while (!bytes.ends_with(kMarker) && poll(&ready, 1, 5000) > 0) {
      char block[4096];
      const ssize_t got = read(controller_, block, sizeof block);
      if (got <= 0) break;
      bytes.append(block, static_cast<std::size_t>(got));
    }
    EXPECT_TRUE(bytes.ends_with(kMarker));
    if (bytes.ends_with(kMarker)) bytes.resize(bytes.size() - kMarker.size());
    return bytes;
  }

 private:
  int controller_ = -1;
  int terminal_ = -1;
};

std::string reset_then(std::string_view text) { return std::string(kReset) + std::string(text); }

struct Step {
  const char* text;  // null: a line end
};
constexpr Step kLineEnd{nullptr};

TEST(TerminalScreen, KeepsTheConsoleLayoutAsAStream) {
  const struct {
    const char* name;
    unsigned short columns;
    std::vector<Step> steps;
    std::string shown;
    bool escapes = true;  // false: a terminal that takes none (TERM dumb or unset)
  } cases[] = {
      {"band line", 80, {{"HF Mode,   LP Filter in    PWR out"}, kLineEnd},
       reset_then("HF Mode,   LP Filter in    PWR out") + "\r\n"},
      {"items back to back, each with its reset", 80, {{"ab"}, {"cd"}, kLineEnd},
       reset_then("ab") + reset_then("cd") + "\r\n"},
      // The terminal wraps, so the line stays one line to it and copies whole.
      {"wrap at the width", 20, {{"abcdefghijklmnopqrstuvwxy"}, kLineEnd},
       reset_then("abcdefghijklmnopqrstuvwxy") + "\r\n"},
      {"a wrapped line that fills its last row is followed by an empty row", 5,
       {{"abcdefghij"}, kLineEnd, {"x"}}, reset_then("abcdefghij") + "\r\n\r\n" + reset_then("x")},
      {"an item that starts on the next row goes on by the terminal's wrap", 5, {{"abcde"}, {"fg"}, kLineEnd},
       reset_then("abcdefg") + "\r\n"},
      {"no escape sequence for a terminal that takes none", 5, {{"ab"}, {"cdefg"}, kLineEnd, {"x"}},
       "abcdefg\r\nx", false},
      {"a line filling the width is followed by an empty row", 20,
       {{"abcdefghijklmnopqrst"}, kLineEnd, {"x"}},
       reset_then("abcdefghijklmnopqrst") + "\r\n\r\n" + reset_then("x")},
      {"an empty line", 20, {kLineEnd, kLineEnd}, "\r\n\r\n"},
      {"an empty item sends nothing", 20, {{""}}, ""},
      {"controls become pictures", 80, {{"a\a\x1b[31m\r\n\t\x7f" "b"}},
       reset_then("a\u2407\u241b[31m\u240d\u240a\u2409\u2421b")},
      {"a C1 control is a replacement character", 80, {{"\xc2\x9b"}}, reset_then("\ufffd")},
      {"invalid UTF-8 shows as replacement characters", 80, {{"\xff\xc3(\xe2\x82"}},
       reset_then("\ufffd\ufffd(\ufffd\ufffd")},
      {"the width counts characters, not bytes", 4, {{"\u00e9\u00e9\u00e9\u00e9\u00e9"}},
       reset_then("\u00e9\u00e9\u00e9\u00e9\u00e9")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pty pty(c.columns);
    TerminalScreen screen(pty.terminal(), c.escapes);
    ConsoleOutput console(screen);
    for (const Step& step : c.steps) {
      if (step.text == nullptr) {
        console.end_line();
      } else {
        console.print_text(step.text);
      }
    }
    screen.flush();
    EXPECT_EQ(pty.shown(), c.shown);
  }
}

TEST(TerminalScreen, ALineGoesOutWhenItEnds) {
  Pty pty(80);
  TerminalScreen screen(pty.terminal());
  ConsoleOutput console(screen);
  console.print_text("Frequency  ");
  console.print_text("7.05");
  EXPECT_EQ(pty.shown(), "");
  console.end_line();
  EXPECT_EQ(pty.shown(), reset_then("Frequency  ") + reset_then("7.05") + "\r\n");
  console.print_text("MHz");
  screen.flush();
  EXPECT_EQ(pty.shown(), reset_then("MHz"));
}

TEST(TerminalScreen, EightyColumnsWhenTheTerminalDoesNotSay) {
  Pty pty(0);
  TerminalScreen screen(pty.terminal());
  ScreenGeometry geometry;
  ASSERT_TRUE(screen.read_geometry(geometry));
  EXPECT_EQ(geometry.width, 80);
  EXPECT_EQ(geometry.cursor_x, 0);
}

TEST(TerminalScreen, EachRunOfAtMost256CellsBeginsWithTheReset) {
  Pty pty(300);
  TerminalScreen screen(pty.terminal());
  ConsoleOutput console(screen);
  const std::string wide(300, '\x07');  // 300 cells of three bytes each
  console.print_text(wide);
  screen.flush();
  std::string expected = reset_then("");
  for (int i = 0; i < 256; ++i) expected += "\u2407";
  expected += kReset;
  for (int i = 256; i < 300; ++i) expected += "\u2407";
  EXPECT_EQ(pty.shown(), expected);
}

TEST(TerminalScreen, OnlyADumbTerminalOrNoneNamedTakesNoEscapes) {
  for (const auto& [term, escapes] : {std::pair<const char*, bool>{"xterm-256color", true}, {"linux", true},
                                      {"screen", true}, {"dumb", false}, {"", false}, {nullptr, false}}) {
    EXPECT_EQ(terminal_takes_escapes(term), escapes) << (term == nullptr ? "unset" : term);
  }
}

TEST(TerminalScreen, WithoutATerminalEverythingIsDropped) {
  TerminalScreen nowhere;
  ScreenGeometry geometry;
  EXPECT_FALSE(nowhere.read_geometry(geometry));
}

// Runs the console set-up in a child whose standard output and standard error are
// `out` and `err`, prints one line, and returns the child's exit status.
int run_console_child(int out, int err) {
  const pid_t child = fork();
  if (child == 0) {
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    setenv("TERM", "xterm-256color", 1);
    static bool handler_ran = false;
    set_up_console([] { handler_ran = true; });
    process_console().print_text("HF Mode");
    process_console().end_line();
    if (!handler_ran) _exit(3);
    // A line that has not ended when the process ends still goes out.
    process_console().print_text("7.05");
    end_process_now(ExitCode::sent);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return status;
}

class TemporaryFile {
 public:
  TemporaryFile() : fd_(mkstemp(path_)) { EXPECT_GE(fd_, 0); }
  ~TemporaryFile() {
    close(fd_);
    unlink(path_);
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  int fd() const { return fd_; }
  off_t size() const { return lseek(fd_, 0, SEEK_END); }

 private:
  char path_[32] = "/tmp/vornset-console-XXXXXX";
  int fd_;
};

const std::string kLineShown = reset_then("HF Mode") + "\r\n" + reset_then("7.05");

TEST(ConsoleSetUp, StandardOutputWhenItIsATerminal) {
  Pty out(80);
  Pty err(80);
  EXPECT_EQ(run_console_child(out.terminal(), err.terminal()), 0);
  EXPECT_EQ(out.shown(), kLineShown);
  EXPECT_EQ(err.shown(), "");
}

TEST(ConsoleSetUp, StandardErrorWhenStandardOutputIsRedirected) {
  TemporaryFile file;
  Pty err(80);
  EXPECT_EQ(run_console_child(file.fd(), err.terminal()), 0);
  EXPECT_EQ(file.size(), 0);
  EXPECT_EQ(err.shown(), kLineShown);
}

TEST(ConsoleSetUp, NowhereWhenNeitherIsATerminal) {
  TemporaryFile out;
  TemporaryFile err;
  EXPECT_EQ(run_console_child(out.fd(), err.fd()), 0);
  EXPECT_EQ(out.size(), 0);
  EXPECT_EQ(err.size(), 0);
}

}  // namespace
}  // namespace vornset
