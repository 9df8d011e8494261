#include "network/telnet_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

namespace vornset {
namespace {

// Every event of `stream`, written as text: "d41" data, "will3", "sb44:65,0,0,75,0".
std::vector<std::string> events_of(std::string_view stream) {
  TelnetReader reader;
  std::vector<std::string> events;
  for (const char byte : stream) {
    const TelnetEvent event = reader.feed(static_cast<std::uint8_t>(byte));
    const std::string option = std::to_string(reader.option());
    switch (event) {
      case TelnetEvent::none: break;
      case TelnetEvent::data: events.push_back("d" + option); break;
      case TelnetEvent::will: events.push_back("will" + option); break;
      case TelnetEvent::wont: events.push_back("wont" + option); break;
      case TelnetEvent::do_option: events.push_back("do" + option); break;
      case TelnetEvent::dont: events.push_back("dont" + option); break;
      case TelnetEvent::subnegotiation: {
        std::string text = "sb" + option + ":";
        for (const std::uint8_t value : reader.subnegotiation()) text += std::to_string(value) + ",";
        if (reader.subnegotiation_cut()) text += "cut";
        events.push_back(text);
        break;
      }
    }
  }
  return events;
}

using Events = std::vector<std::string>;
using namespace std::string_view_literals;

TEST(TelnetReader, ReadsWhatTheServerSaysOnConnecting) {
  // A device server's greeting: WILL SGA, DO SGA, WILL ECHO, DONT ECHO, DO BINARY,
  // WILL BINARY, DO COM-PORT-OPTION, then a refusal's text.
  EXPECT_EQ(events_of("\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x01\xFF\xFE\x01\xFF\xFD\x00\xFF\xFB\x00\xFF\xFD,Pi"sv),
            (Events{"will3", "do3", "will1", "dont1", "do0", "will0", "do44", "d80", "d105"}));
}

TEST(TelnetReader, UndoesDoubledIacInDataAndSubnegotiation) {
  EXPECT_EQ(events_of("a\xFF\xFF" "b"sv), (Events{"d97", "d255", "d98"}));
  // The answer to a rate of 0x0000FFFF.
  EXPECT_EQ(events_of("\xFF\xFA\x2C\x65\x00\x00\xFF\xFF\xFF\xFF\xFF\xF0"sv), (Events{"sb44:101,0,0,255,255,"}));
}

TEST(TelnetReader, CutsALongSubnegotiationAndReadsOnAfterIt) {
  const std::string long_one = "\xFF\xFA\x2C" + std::string(1000, 'x') + "\xFF\xF0" + "z";
  const Events events = events_of(long_one);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0], "sb44:120,120,120,120,120,120,120,120,cut");
  EXPECT_EQ(events[1], "d122");
}

TEST(TelnetReader, DropsCommandsThatCarryNothingAndStrayCommandsInsideASubnegotiation) {
  // NOP, GA and a stray SE between data; IAC NOP inside a subnegotiation.
  EXPECT_EQ(events_of("a\xFF\xF1" "b\xFF\xF9\xFF\xF0" "c"sv), (Events{"d97", "d98", "d99"}));
  EXPECT_EQ(events_of("\xFF\xFA\x2C\x66\xFF\xF1\x08\xFF\xF0"sv), (Events{"sb44:102,8,"}));
}

}  // namespace
}  // namespace vornset
