#include "network/rfc2217.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vornset::rfc2217 {
namespace {

std::string wire(const Request& request) { return std::string(request.wire()); }

TEST(Rfc2217Request, PutsValuesOnTheWireMostSignificantFirst) {
  EXPECT_EQ(wire(baud_rate_request(19200)), std::string("\xFF\xFA\x2C\x01\x00\x00\x4B\x00\xFF\xF0", 10));
  EXPECT_EQ(wire(data_size_request(8)), std::string("\xFF\xFA\x2C\x02\x08\xFF\xF0", 7));
  EXPECT_EQ(wire(parity_request(Parity::none)), std::string("\xFF\xFA\x2C\x03\x01\xFF\xF0", 7));
  EXPECT_EQ(wire(parity_request(Parity::space)), std::string("\xFF\xFA\x2C\x03\x05\xFF\xF0", 7));
  EXPECT_EQ(wire(stop_size_request(StopBits::one)), std::string("\xFF\xFA\x2C\x04\x01\xFF\xF0", 7));
  EXPECT_EQ(wire(stop_size_request(StopBits::two)), std::string("\xFF\xFA\x2C\x04\x02\xFF\xF0", 7));
  EXPECT_EQ(wire(purge_transmit_request()), std::string("\xFF\xFA\x2C\x0C\x02\xFF\xF0", 7));
  EXPECT_EQ(wire(baud_rate_query()), std::string("\xFF\xFA\x2C\x01\x00\x00\x00\x00\xFF\xF0", 10));
}

TEST(Rfc2217Request, DoublesEveryIacOfAValue) {
  EXPECT_EQ(wire(baud_rate_request(0xFFFFFFFFu)),
            std::string("\xFF\xFA\x2C\x01\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xFF\xF0", 14));
}

TEST(Rfc2217Request, SetsTheModemLines) {
  EXPECT_EQ(wire(control_request(ModemLine::dtr, true)), std::string("\xFF\xFA\x2C\x05\x08\xFF\xF0", 7));
  EXPECT_EQ(wire(control_request(ModemLine::dtr, false)), std::string("\xFF\xFA\x2C\x05\x09\xFF\xF0", 7));
  EXPECT_EQ(wire(control_request(ModemLine::rts, true)), std::string("\xFF\xFA\x2C\x05\x0B\xFF\xF0", 7));
  EXPECT_EQ(wire(control_request(ModemLine::rts, false)), std::string("\xFF\xFA\x2C\x05\x0C\xFF\xF0", 7));
}

TEST(Rfc2217Request, HasNoneForAValueWithoutACode) {
  EXPECT_TRUE(baud_rate_request(0).wire().empty());  // 0 would only ask
  EXPECT_TRUE(data_size_request(9).wire().empty());
  EXPECT_TRUE(data_size_request(4).wire().empty());
}

TEST(Rfc2217Answer, TakenOnlyWhenTheServerRepeatsTheValue) {
  using Bytes = std::vector<std::uint8_t>;
  const Request rate = baud_rate_request(19200);
  EXPECT_EQ(answer_to(rate, Bytes{101, 0, 0, 0x4B, 0}), Answer::taken);
  EXPECT_EQ(answer_to(rate, Bytes{101, 0, 0, 0x25, 0x80}), Answer::refused);  // 9600 kept
  EXPECT_EQ(answer_to(rate, Bytes{101, 0, 0x4B}), Answer::refused);           // cut short
  EXPECT_EQ(answer_to(rate, Bytes{102, 8}), Answer::other);
  EXPECT_EQ(answer_to(rate, Bytes{}), Answer::other);
  const Request dtr = control_request(ModemLine::dtr, true);
  EXPECT_EQ(answer_to(dtr, Bytes{105, 8}), Answer::taken);
  EXPECT_EQ(answer_to(dtr, Bytes{105, 9}), Answer::refused);
  EXPECT_EQ(answer_to(Request{}, Bytes{101, 0, 0, 0, 0}), Answer::other);
  EXPECT_EQ(answered_rate(Bytes{101, 0, 0, 0x25, 0x80}), 9600u);
  EXPECT_EQ(answered_rate(Bytes{102, 8}), 0u);
}

TEST(Rfc2217Negotiation, AgreesToWhatTheClientNeedsAndAnswersEachRequestOnce) {
  Negotiation negotiation;
  EXPECT_EQ(negotiation.reply(TelnetEvent::will, 3), std::string_view("\xFF\xFD\x03", 3));
  EXPECT_EQ(negotiation.reply(TelnetEvent::will, 1), std::string_view("\xFF\xFE\x01", 3));  // no echo
  EXPECT_EQ(negotiation.reply(TelnetEvent::do_option, 0), std::string_view("\xFF\xFB\x00", 3));
  EXPECT_EQ(negotiation.reply(TelnetEvent::do_option, 24), std::string_view("\xFF\xFC\x18", 3));
  EXPECT_FALSE(negotiation.offer().empty());
  EXPECT_TRUE(negotiation.reply(TelnetEvent::do_option, 44).empty());  // answers the offer
  EXPECT_TRUE(negotiation.offer().empty());                            // once
  EXPECT_TRUE(negotiation.reply(TelnetEvent::will, 3).empty());        // once
  EXPECT_TRUE(negotiation.reply(TelnetEvent::dont, 0).empty());
  EXPECT_TRUE(negotiation.reply(TelnetEvent::data, 0).empty());
}

// A server that asks first is answered as it expects: WILL to its DO, DO to its WILL.
TEST(Rfc2217Negotiation, AnswersAServerThatAsksForTheComPortOptionFirst) {
  Negotiation asked_to_will;
  EXPECT_EQ(asked_to_will.reply(TelnetEvent::do_option, 44), std::string_view("\xFF\xFB\x2C", 3));
  EXPECT_TRUE(asked_to_will.offer().empty());
  Negotiation told_it_will;
  EXPECT_EQ(told_it_will.reply(TelnetEvent::will, 44), std::string_view("\xFF\xFD\x2C", 3));
}

}  // namespace
}  // namespace vornset::rfc2217
