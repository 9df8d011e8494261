#include "app/help.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/exit_code.h"
#include "serial/baud_rate.h"
#include "serial/device_path.h"
#include "settings/port_settings.h"
#include "settings/settings_keys.h"

namespace vornset {
namespace {

constexpr HelpConventions kLinux{"vornset", false};
constexpr HelpConventions kWindows{"VornSet", true};

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

struct RequestCase {
  const char* typed_tail;
  HelpRequest on_linux;
  HelpRequest on_windows;
};

TEST(Help, OnlyAWholeCommandLineAsTypedIsAHelpRequest) {
  const RequestCase table[] = {
      {"--help", HelpRequest::usage, HelpRequest::usage},
      {"-h", HelpRequest::usage, HelpRequest::usage},
      {"--version", HelpRequest::version, HelpRequest::version},
      {"--ports", HelpRequest::ports, HelpRequest::ports},
      {"/?", HelpRequest::none, HelpRequest::usage},
      // Everything else keeps its meaning as a run.
      {"", HelpRequest::none, HelpRequest::none},
      {"help", HelpRequest::none, HelpRequest::none},
      {"--HELP", HelpRequest::none, HelpRequest::none},
      {"-H", HelpRequest::none, HelpRequest::none},
      {"--Version", HelpRequest::none, HelpRequest::none},
      {"--PORTS", HelpRequest::none, HelpRequest::none},
      {"--ports COM3", HelpRequest::none, HelpRequest::none},
      {"--help 7.05", HelpRequest::none, HelpRequest::none},
      {"7.05 --help", HelpRequest::none, HelpRequest::none},
      {"--help ", HelpRequest::none, HelpRequest::none},
      {" -h", HelpRequest::none, HelpRequest::none},
      {"-h\t", HelpRequest::none, HelpRequest::none},
      {"--he", HelpRequest::none, HelpRequest::none},
      {"-?", HelpRequest::none, HelpRequest::none},
      {"/? ", HelpRequest::none, HelpRequest::none},
      {"/H", HelpRequest::none, HelpRequest::none},
  };
  for (const RequestCase& row : table) {
    EXPECT_EQ(find_help_request(row.typed_tail, kLinux), row.on_linux) << '"' << row.typed_tail << '"';
    EXPECT_EQ(find_help_request(row.typed_tail, kWindows), row.on_windows) << '"' << row.typed_tail << '"';
  }
}

TEST(Help, UsageIsPlainAsciiInEightyColumns) {
  for (const HelpConventions& conventions : {kLinux, kWindows}) {
    const std::string usage = usage_text(conventions);
    ASSERT_FALSE(usage.empty());
    EXPECT_EQ(usage.back(), '\n');
    for (const std::string& line : lines_of(usage)) {
      EXPECT_LE(line.size(), 80U) << line;
      for (const char c : line) {
        EXPECT_TRUE(c >= ' ' && c <= '~') << "in: " << line;
      }
    }
  }
}

TEST(Help, UsageNamesTheProgramAndOnlyItsPlatformsOptions) {
  const std::string linux_usage = usage_text(kLinux);
  const std::string windows_usage = usage_text(kWindows);
  EXPECT_EQ(linux_usage.rfind("Usage: vornset [FREQUENCY]", 0), 0U) << linux_usage;
  EXPECT_EQ(windows_usage.rfind("Usage: VornSet [FREQUENCY]", 0), 0U) << windows_usage;
  EXPECT_EQ(linux_usage.find("/?"), std::string::npos);
  EXPECT_NE(windows_usage.find("| /? |"), std::string::npos);
}

TEST(Help, VersionIsOneLineWithTheBuildsVersion) {
  EXPECT_EQ(version_text(kLinux), std::string("vornset ") + VORNSET_VERSION + "\n");
  EXPECT_EQ(version_text(kWindows), std::string("VornSet ") + VORNSET_VERSION + "\n");
}

TEST(Help, UsageGivesTheDeviceMappingThePortsFollow) {
  const std::string usage = usage_text(kLinux);
  for (const char* number : {"1", "2", "16"}) {
    const std::string device = device_path_for_port_text(number);
    // "COMn is /dev/ttyS(n-1)" worked out for this n.
    EXPECT_EQ(device, "/dev/ttyS" + std::to_string(std::stoi(number) - 1));
  }
  EXPECT_NE(usage.find("COMn is /dev/ttyS(n-1), so COM1 is " + device_path_for_port_text("1")),
            std::string::npos);
  for (const char* path : {"/dev/ttyUSB0", "/dev/serial/by-id/"}) {
    EXPECT_EQ(device_path_for_port_text(path), path);
    EXPECT_NE(usage.find(std::string("COM") + path), std::string::npos) << path;
  }
}

TEST(Help, UsageExampleSettingsReadAsTheyClaim) {
  // The indented lines behind "Example:" are a settings file as the reader takes it.
  const std::vector<std::string> lines = lines_of(usage_text(kLinux));
  PortSettings settings;
  bool in_example = false;
  int example_lines = 0;
  for (const std::string& line : lines) {
    if (in_example && line.rfind("  ", 0) != 0) break;
    if (in_example) {
      apply_settings_keys(line.substr(2), settings);
      ++example_lines;
    }
    if (line.ends_with("Example:")) in_example = true;
  }
  EXPECT_EQ(example_lines, 2);
  EXPECT_EQ(settings.port_text, "3");
  EXPECT_EQ(baud_rate_for_text(settings.baud_text), 19200U);
  const std::string usage = usage_text(kLinux);
  EXPECT_NE(usage.find("  COM" + settings.port_text + "\n"), std::string::npos);
}

TEST(Help, UsageListsEveryExitCode) {
  const std::string usage = usage_text(kLinux);
  for (const ExitCode code : {ExitCode::sent, ExitCode::failed, ExitCode::fatal}) {
    std::string column = "  " + std::to_string(static_cast<int>(code));
    column.resize(7, ' ');
    EXPECT_NE(usage.find("\n" + column), std::string::npos) << column;
  }
}

}  // namespace
}  // namespace vornset
