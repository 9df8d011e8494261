#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "serial/serial_platform.h"

namespace vornset {

// A serial driver in memory, for tests: reads answer from its state, writes change it,
// and any one call can be made to fail. Every call is logged, so a test sees the exact
// sequence of platform calls and what each asked for.
class FakeSerialPlatform final : public SerialPlatform {
 public:
  enum class Call : std::uint8_t {
    open,
    read_line_settings,
    write_line_settings,
    set_modem_lines,
    read_queue_sizes,
    request_queue_sizes,
    limit_write_time,
    write,
    wait_until_sent,
    discard_output,
  };
  struct Entry {
    Call call;
    LineSettings settings{};  // what a line-settings read gave or a write asked for; the
                              // modem lines asked for by set_modem_lines
    QueueSizes queues{};      // what a queue read gave or a request asked for
    std::uint32_t milliseconds = 0;  // a write time limit, or how long a wait may last
    std::string bytes;        // the port text of an open, the bytes of a write
  };

  static constexpr PortHandle port_handle = 7;

  // The driver's state: the port as it was before the program touched it.
  LineSettings line{};
  QueueSizes queues{4096, 2048};
  // A write of this rate is refused as drivers refuse rate 0 (invalid parameter).
  std::uint32_t refused_baud_rate = 0;
  // Nonzero: a refused rate leaves the line at this rate instead of as it was.
  std::uint32_t falls_back_to_rate = 0;
  // A UART with one stop bit only refuses a write that asks for two (invalid parameter).
  bool one_stop_bit_only = false;
  // Nonzero: the driver keeps this rate whatever rate it is asked for, as drivers round.
  std::uint32_t keeps_rate = 0;
  // DTR and RTS as the driver has them: raised at the open, and again by a write that
  // takes the line away from rate 0 (B0), as the serial core and USB drivers do. On
  // Windows a write sets those its settings ask for, as a DCB does.
  ModemLines lines_now{LineLevel::on, LineLevel::on};
  // False: a port without modem lines, as a pseudo-terminal; set_modem_lines fails.
  bool has_modem_lines = true;
  // A write takes at most this many bytes and reports a short count.
  std::size_t takes_at_most = std::numeric_limits<std::size_t>::max();
  // Nonzero: flow control holds the line off this long after the writes, so written
  // bytes wait in the output queue; a wait that lasts at least as long sees them sent.
  std::uint32_t line_held_for_ms = 0;
  // The clock, and how long each write waits for room: a write given less time takes
  // nothing and times out.
  std::uint32_t clock_ms = 0;
  std::uint32_t write_waits_ms = 0;
  std::string received;  // what left on the line
  std::string queued;    // what the driver took but has not sent
  std::string discarded; // what was thrown away from the queue
  std::vector<Entry> log;

  FakeSerialPlatform();

  // The `n`-th call (1-based, over all calls) fails with `outcome` and changes nothing.
  void fail_call(std::size_t n, CallOutcome outcome) { failures_.emplace_back(n, outcome); }
  std::vector<Call> calls() const;

  CallOutcome open(std::string_view port_text, PortHandle& handle) override;
  std::string device_name(std::string_view port_text) const override;
  CallOutcome read_line_settings(PortHandle handle, LineSettings& settings) override;
  CallOutcome write_line_settings(PortHandle handle, const LineSettings& settings) override;
  CallOutcome set_modem_lines(PortHandle handle, ModemLines lines, std::string& reason) override;
  CallOutcome read_queue_sizes(PortHandle handle, QueueSizes& sizes) override;
  CallOutcome request_queue_sizes(PortHandle handle, const QueueSizes& sizes) override;
  CallOutcome limit_write_time(PortHandle handle, std::uint32_t milliseconds) override;
  CallOutcome write(PortHandle handle, std::string_view bytes, std::size_t& written,
                    std::uint32_t milliseconds) override;
  std::uint32_t milliseconds_now() override { return clock_ms; }
  CallOutcome wait_until_sent(PortHandle handle, std::uint32_t milliseconds) override;
  CallOutcome discard_output(PortHandle handle) override;

 private:
  // Logs the call and gives the failure planned for it, if any; a handle that is not
  // the one the open gave fails as the system would fail it.
  CallOutcome begin(Entry entry, PortHandle handle);

  std::vector<std::pair<std::size_t, CallOutcome>> failures_;
};

// The outcome of a platform call that failed with `system_code` on this platform.
CallOutcome system_failure(std::uint32_t system_code);

}  // namespace vornset
