#include "network/network_address.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

TEST(NetworkAddress, ReadsBothSchemesInAnyCaseAndEveryKindOfHost) {
  const struct {
    std::string_view text;
    NetworkProtocol protocol;
    std::string_view host;
    std::string_view service;
  } table[] = {
      {"rfc2217://radio-pi:4000", NetworkProtocol::rfc2217, "radio-pi", "4000"},
      {"RFC2217://127.0.0.1:2000", NetworkProtocol::rfc2217, "127.0.0.1", "2000"},
      {"tcp://[::1]:65535", NetworkProtocol::raw_tcp, "::1", "65535"},
      {"Tcp://radio.example:1", NetworkProtocol::raw_tcp, "radio.example", "1"},
  };
  for (const auto& row : table) {
    NetworkAddress address;
    ASSERT_TRUE(parse_network_address(row.text, address)) << row.text;
    EXPECT_TRUE(names_network_port(row.text));
    EXPECT_EQ(address.protocol, row.protocol) << row.text;
    EXPECT_EQ(address.host, row.host) << row.text;
    EXPECT_EQ(address.service, row.service) << row.text;
  }
}

TEST(NetworkAddress, RefusesAnAddressThatIsNotWhole) {
  for (const std::string_view text : {"tcp://radio-pi", "tcp://radio-pi:", "tcp://:4000", "tcp://radio-pi:0",
                                      "tcp://radio-pi:65536", "tcp://radio-pi:04000", "tcp://radio-pi:4000 ",
                                      "tcp://radio pi:4000", "tcp://::1:4000", "rfc2217://[]:4000",
                                      "tcp://radio-pi:40a0", "tcp://radio\x1b-pi:4000"}) {
    NetworkAddress address;
    EXPECT_FALSE(parse_network_address(text, address)) << text;
  }
}

TEST(NetworkAddress, LeavesEveryOtherPortTextToTheLocalPort) {
  for (const std::string_view text : {"3", "/dev/ttyUSB0", "tcp:/radio:4000", "udp://radio:4000", "xtcp://radio:1",
                                      " tcp://radio:4000", "rfc2217:radio:4000"}) {
    EXPECT_FALSE(names_network_port(text)) << text;
  }
}

}  // namespace
}  // namespace vornset
