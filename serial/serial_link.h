#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "frame/file_table.h"
#include "serial/serial_platform.h"

namespace vornset {

class ErrorState;

// The serial port, file number 1: opened once, configured once, then any number of
// sends. Each failure records its error number and the run goes on; the first failure
// is kept so that the run can tell the user about it at the end.
class SerialLink {
 public:
  static constexpr std::int16_t file_number = 1;

  SerialLink(SerialPlatform& platform, FileTable& files, ErrorState& errors);
  // The link's record sits in the file table by address.
  SerialLink(const SerialLink&) = delete;
  SerialLink& operator=(const SerialLink&) = delete;

  void open(std::string_view port_text);
  // The baud rate from the baud text, two stop bits, 8N1, no parity checking, a receive
  // queue of 1024 bytes, in this order; then the time limit for writes. A line setting
  // the driver refuses is recorded, but fails the link only when the line does not end
  // at the rate (within 2 %), 8N1, parity not checked. A rate below 50 is refused as
  // not supported. Modem lines asked OFF are lowered after the open and after each write
  // of the line settings, refused ones included; lines asked ON are carried by each write
  // and raised after them only when nothing was refused. When the lines cannot be set, or
  // a line setting fails with them asked for, nothing is sent.
  void configure(std::string_view baud_text, ModemLines modem_lines = {});
  // The command's bytes, exactly as given, within the time left of the send. Nothing is
  // written when the time limit for writes could not be set (a write might then never
  // return), nor after a command that was not taken whole.
  void send(std::string_view command);
  // After the last send: waits until the port has sent every byte it took. The writes
  // and this wait share one deadline: the send time limit plus the time the bytes take
  // on the line at its rate, from the first write. What is still queued then is thrown
  // away and the send counts as failed (timed out).
  void wait_until_sent();

  bool failed() const { return failure_.stage != Stage::none; }
  bool port_opened() const { return record_.handle != no_port; }
  // One line about the first failure, e.g. "Serial port COM3 could not be opened (no such
  // device)"; empty when nothing failed.
  std::string failure_message() const;

 private:
  enum class Stage : std::uint8_t { none, open, configure, send };
  struct Failure {
    Stage stage = Stage::none;
    int error_number = 0;
    std::uint32_t system_code = 0;
    std::string reason;  // the platform's own words for a refused open
    bool baud_rate_refused = false;
    std::uint32_t baud_rate = 0;
    std::uint32_t rate_before = 0;  // the line's rate before the refused one was asked
  };
  struct PortRecord {
    OpenFile file{file_number, FileKind::serial_port, nullptr};
    PortHandle handle = no_port;
  };

  void fail(Stage stage, int error_number, std::uint32_t system_code);
  // Keeps the first failure only.
  void remember(Stage stage, int error_number, std::uint32_t system_code);
  // The port for a statement, or no_port after recording why there is none.
  PortHandle port_for(Stage stage);
  // Gives the outcome of the write, an empty one when the write was not reached.
  template <typename Change>
  CallOutcome change_line_settings(Change change);
  // Reads the line once more: at `rate`, 8N1, parity not checked?
  bool line_ends_as_needed(std::uint32_t rate);
  // Only runs whose settings ask for modem lines come here.
  [[gnu::cold]] void set_modem_lines(ModemLines lines);
  [[gnu::cold]] void lower_lines_asked_off();
  void request_receive_queue(std::uint32_t size);
  void limit_write_time();
  std::uint32_t sending_time_left_ms();

  SerialPlatform& platform_;
  FileTable& files_;
  ErrorState& errors_;
  PortRecord record_;
  std::string device_;
  Failure failure_;
  // The rate the driver last reported; 0 while unknown.
  std::uint32_t line_rate_ = 0;
  std::uint64_t bytes_taken_ = 0;
  bool write_time_unbounded_ = false;  // the time limit for writes was refused
  ModemLines modem_lines_;
  bool lines_not_as_asked_ = false;  // the modem lines asked for may not hold
  bool a_send_failed_ = false;
  bool all_sent_ = false;  // every command taken whole and gone out
  bool sending_started_ = false;
  std::uint32_t sending_since_ms_ = 0;  // the platform's clock at the first write
};

}  // namespace vornset
