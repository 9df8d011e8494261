#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "network/rfc2217.h"
#include "serial/line_time.h"
#include "serial/serial_platform.h"

namespace vornset {

// The line behind an RFC 2217 server as the run knows it: each field as the server last
// answered it, or not known. Nothing is taken for granted: a field the server has not
// answered is asked, and an answer with another value leaves the field at the server's
// value and names it as refused.
class RemoteLine {
 public:
  static constexpr std::size_t max_requests = 4;

  // The requests that bring the line to `asked`: each field not known to hold its value.
  // False when a value has no code in the protocol (9 data bits, parity checking).
  bool requests_for(const LineSettings& asked, rfc2217::Request (&requests)[max_requests],
                    std::size_t& count) const;
  // Takes the server's answer to `request`. False when it answered another value: for
  // any field but the rate, refused() then names that value.
  bool take(const rfc2217::Request& request, std::span<const std::uint8_t> answer);
  // The line as the link reads it: known fields as answered, the others as 8N1 at no rate.
  void report(LineSettings& settings) const;
  // No field holds a value other than the one last asked of it: until then nothing goes
  // out, or the instrument would get the commands on a line it cannot read.
  bool as_asked() const { return not_as_asked_ == 0; }
  std::uint32_t rate() const { return rate_.value_or(0); }
  // The rate a query's answer reported; 0 is no answer to one.
  void rate_reported(std::uint32_t rate) {
    if (rate != 0) rate_ = rate;
  }
  LineFormat format() const {
    return {data_bits_.value_or(8), parity_.value_or(Parity::none), stop_bits_.value_or(StopBits::one)};
  }
  // "7 data bits", "odd parity", "two stop bits": the first value refused since forget_refusal.
  const std::string& refused() const { return refused_; }
  void forget_refusal() { refused_.clear(); }
  // Where a server's own rate is all there is (raw TCP): the settings' values stand.
  void assume(const LineSettings& settings);
  // Whether the server last answered DTR or RTS at `on`.
  bool holds(rfc2217::ModemLine line, bool on) const {
    const std::optional<bool>& level = line == rfc2217::ModemLine::dtr ? dtr_ : rts_;
    return level == on;
  }

 private:
  std::optional<std::uint32_t> rate_;
  std::optional<std::uint8_t> data_bits_;
  std::optional<Parity> parity_;
  std::optional<StopBits> stop_bits_;
  std::optional<bool> dtr_;
  std::optional<bool> rts_;
  std::uint8_t not_as_asked_ = 0;  // one bit per command: its last answer refused the value
  std::string refused_;
};

}  // namespace vornset
