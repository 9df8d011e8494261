#include "network/network_address.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

TEST(NetworkAddress, ReadsBothSchemesInAnyCaseAndEveryKindOfHost) {
  const struct {
    std::string_view text;
    NetworkProtocol protocol;
    std::string_view host;
    std::string_view zone;
    std::string_view service;
  } table[] = {
      {"rfc2217://radio-pi:4000", NetworkProtocol::rfc2217, "radio-pi", "", "4000"},
      {"RFC2217://127.0.0.1:2000", NetworkProtocol::rfc2217, "127.0.0.1", "", "2000"},
      {"tcp://[::1]:65535", NetworkProtocol::raw_tcp, "::1", "", "65535"},
      {"Tcp://radio.example:1", NetworkProtocol::raw_tcp, "radio.example", "", "1"},
      {"tcp://radio-pi:04000", NetworkProtocol::raw_tcp, "radio-pi", "", "4000"},
      // A link-local address with its interface, by name or by number.
      {"tcp://[fe80::1%eth0]:4000", NetworkProtocol::raw_tcp, "fe80::1", "eth0", "4000"},
      {"rfc2217://[fe80::ba27:ebff:fe12:3456%12]:2217", NetworkProtocol::rfc2217, "fe80::ba27:ebff:fe12:3456", "12",
       "2217"},
  };
  for (const auto& row : table) {
    NetworkAddress address;
    std::string mistake;
    ASSERT_TRUE(parse_network_address(row.text, address, mistake)) << row.text << ": " << mistake;
    EXPECT_TRUE(names_network_port(row.text));
    EXPECT_EQ(address.protocol, row.protocol) << row.text;
    EXPECT_EQ(address.host, row.host) << row.text;
    EXPECT_EQ(address.zone, row.zone) << row.text;
    EXPECT_EQ(address.service, row.service) << row.text;
    EXPECT_EQ(mistake, "") << row.text;
  }
}

TEST(NetworkAddress, RefusesAnAddressThatIsNotWholeAndSaysWhy) {
  const struct {
    std::string_view text;
    std::string_view mistake;
  } table[] = {
      {"rfc2217://10.0.0.5", "no port number: write rfc2217://HOST:PORT"},
      {"tcp://radio-pi:", "no port number: write tcp://HOST:PORT"},
      {"RFC2217://radio-pi/4000", "no port number: write RFC2217://HOST:PORT"},
      {"tcp://[::1]", "no port number: write tcp://HOST:PORT"},
      {"tcp://:4000", "no host: write tcp://HOST:PORT"},
      {"rfc2217://[]:4000", "no host: write rfc2217://HOST:PORT"},
      {"tcp://radio-pi:0", "port 0 is not a TCP port"},
      {"tcp://radio-pi:65536", "port 65536 is not a TCP port"},
      {"tcp://radio-pi:99999", "port 99999 is not a TCP port"},
      // 2^32 + 4000: counted in 32 bits it would be port 4000.
      {"tcp://radio-pi:4294971296", "port 4294971296 is not a TCP port"},
      {"tcp://radio-pi:40a0", "port 40a0 is not a TCP port"},
      {"tcp://::1:4000", "an IPv6 address goes in brackets"},
      {"rfc2217://fd00::7:4001", "an IPv6 address goes in brackets"},
      {"tcp://fe80::1%eth0:4000", "an IPv6 address goes in brackets"},
      {"tcp://[::1:4000", "no ] behind the IPv6 address"},
      {"tcp://radio-pi:4000/", "nothing may follow the port number: write tcp://radio-pi:4000"},
      {"Rfc2217://[::1]:4000 ", "nothing may follow the port number: write Rfc2217://[::1]:4000"},
      {"tcp://radio pi:4000", "invalid name"},
      {"tcp://radio\x1b-pi:4000", "invalid name"},
      {"tcp://[fe80::1%]:4000", "invalid name"},
      {"tcp://[radio-pi%eth0]:4000", "invalid name"},
      {"tcp://[fe80::1%eth 0]:4000", "invalid name"},
  };
  for (const auto& row : table) {
    NetworkAddress address;
    std::string mistake;
    EXPECT_FALSE(parse_network_address(row.text, address, mistake)) << row.text;
    EXPECT_EQ(mistake, row.mistake) << row.text;
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
