#include "serial/device_path.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

TEST(DevicePathForPortText, NamesSerialPortsAndPathsAndNothingElse) {
  const struct {
    std::string_view port_text;
    std::string_view path;
  } table[] = {
      {"1", "/dev/ttyS0"},
      {"3", "/dev/ttyS2"},
      {"12", "/dev/ttyS11"},
      {"256", "/dev/ttyS255"},
      {"03", "/dev/ttyS2"},
      {"/dev/ttyUSB0", "/dev/ttyUSB0"},
      {"/dev/pts/5 ", "/dev/pts/5 "},  // a path is used as it stands, blanks and all
      {"0", ""},
      {"257", ""},
      {"300", ""},
      {"99999999999999999999999", ""},  // no overflow back into range
      {" 3", ""},
      {"=3", ""},
      {"3 ", ""},
      {"+3", ""},
      {"", ""},
      {"dev/ttyS0", ""},
  };
  for (const auto& row : table) {
    EXPECT_EQ(device_path_for_port_text(row.port_text), row.path) << "'" << row.port_text << "'";
  }
}

}  // namespace
}  // namespace vornset
