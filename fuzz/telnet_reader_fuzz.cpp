// Any bytes from a server, in any split: the reader must not fault, must keep a
// subnegotiation within its bound, must give the same events however the bytes are cut,
// and must pass every byte outside commands through as data.
#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_check.h"
#include "network/rfc2217.h"
#include "network/telnet_reader.h"

namespace {

// A running digest of the events, so two readings can be compared without storing them.
std::uint64_t digest(std::uint64_t sum, vornset::TelnetEvent event, const vornset::TelnetReader& reader) {
  sum = sum * 1099511628211u + static_cast<std::uint8_t>(event) + 1;
  if (event == vornset::TelnetEvent::none) return sum;
  sum = sum * 1099511628211u + reader.option();
  if (event == vornset::TelnetEvent::subnegotiation) {
    FUZZ_CHECK(reader.subnegotiation().size() <= vornset::TelnetReader::max_subnegotiation);
    for (const std::uint8_t byte : reader.subnegotiation()) sum = sum * 1099511628211u + byte;
  }
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte says where a second reader is restarted, as a new connection would be.
  const std::size_t split = data[0] % size;
  vornset::TelnetReader whole;
  vornset::rfc2217::Negotiation negotiation;
  const vornset::rfc2217::Request rate = vornset::rfc2217::baud_rate_request(19200);
  std::uint64_t sum = 0;
  std::size_t data_bytes = 0;
  bool iac_seen = false;
  for (std::size_t index = 1; index < size; ++index) {
    const vornset::TelnetEvent event = whole.feed(data[index]);
    sum = digest(sum, event, whole);
    if (data[index] == vornset::telnet::iac) iac_seen = true;
    if (event == vornset::TelnetEvent::data) ++data_bytes;
    const std::string_view reply = negotiation.reply(event, whole.option());
    FUZZ_CHECK(reply.empty() || reply.size() == 3);
    if (event == vornset::TelnetEvent::subnegotiation) {
      const auto answer = vornset::rfc2217::answer_to(rate, whole.subnegotiation());
      if (answer == vornset::rfc2217::Answer::taken) FUZZ_CHECK(vornset::rfc2217::answered_rate(whole.subnegotiation()) == 19200);
    }
  }
  // Without any IAC every byte is data.
  if (!iac_seen) FUZZ_CHECK(data_bytes == size - 1);
  // Fed the same bytes again after a split into two calls' worth, the digest is the same:
  // the reader carries everything it needs from one byte to the next.
  vornset::TelnetReader again;
  std::uint64_t second = 0;
  for (std::size_t index = 1; index < split + 1 && index < size; ++index) second = digest(second, again.feed(data[index]), again);
  for (std::size_t index = split + 1; index < size; ++index) second = digest(second, again.feed(data[index]), again);
  FUZZ_CHECK(second == sum);
  return 0;
}
