#include "serial/device_commands.h"

#include <gtest/gtest.h>

#include "frame/error_state.h"
#include "frame/file_table.h"
#include "serial/fake_serial_platform.h"
#include "serial/serial_link.h"

namespace vornset {
namespace {

TEST(DeviceCommands, EachBandSendsItsTwoCommandsThenTheFrequency) {
  const struct {
    Band band;
    std::string_view digits;
    std::string_view line;
    std::size_t writes;
  } table[] = {
      {Band::hf, "", "LP1;TT0;", 2},
      {Band::hf, "00007050000", "LP1;TT0;FA00007050000;", 3},
      {Band::vhf, "00144390000", "LP0;TT1;FA00144390000;", 3},
      {Band::lf, "00000137500", "LP1;TT1;FA00000137500;", 3},
      {Band::lf, "00000000000", "LP1;TT1;FA00000000000;", 3},
  };
  for (const auto& row : table) {
    FakeSerialPlatform platform;
    FileTable files;
    ErrorState errors;
    SerialLink link(platform, files, errors);
    link.open("1");
    send_band_commands(link, row.band);
    send_frequency_command(link, row.digits);
    EXPECT_EQ(platform.received, row.line);
    std::size_t writes = 0;
    for (const auto& entry : platform.log) writes += entry.call == FakeSerialPlatform::Call::write;
    EXPECT_EQ(writes, row.writes) << row.line;  // one write per command
  }
}

}  // namespace
}  // namespace vornset
