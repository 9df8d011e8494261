#include "serial/serial_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "frame/error_number.h"
#include "frame/error_state.h"
#include "serial/fake_serial_platform.h"

namespace vornset {
namespace {

using Call = FakeSerialPlatform::Call;

#ifdef _WIN32
constexpr std::uint32_t code_denied = ERROR_ACCESS_DENIED;
constexpr std::uint32_t code_timed_out = ERROR_SEM_TIMEOUT;
constexpr std::uint32_t code_invalid = ERROR_INVALID_PARAMETER;
constexpr std::string_view denied_reason = "in use by another program";
// The driver's own fields, which the program must hand back untouched.
void mark_native(LineSettings& s) { s.native.XonLim = 1234; }
bool native_marked(const LineSettings& s) { return s.native.XonLim == 1234; }
#else
constexpr std::uint32_t code_denied = EACCES;
constexpr std::uint32_t code_timed_out = ETIMEDOUT;
constexpr std::uint32_t code_invalid = EINVAL;
constexpr std::string_view denied_reason = "permission denied";
void mark_native(LineSettings& s) { s.native.c_oflag = 01234; }
bool native_marked(const LineSettings& s) { return s.native.c_oflag == 01234; }
#endif
constexpr std::uint32_t code_not_found = 2;  // ENOENT and ERROR_FILE_NOT_FOUND alike
constexpr std::uint32_t code_unexplained = 9999;

int ignore_fatal_number = 0;
void note_fatal(int number) { ignore_fatal_number = number; }

// A run's statements: open, configure, two commands, the wait until they are sent.
void run_on(SerialLink& link, std::string_view port_text, std::string_view baud_text, ModemLines lines = {}) {
  link.open(port_text);
  link.configure(baud_text, lines);
  link.send("LP1;");
  link.send("TT0;");
  link.wait_until_sent();
}

struct LinkTest : ::testing::Test {
  FakeSerialPlatform platform;
  FileTable files;
  ErrorState errors{note_fatal};
  SerialLink link{platform, files, errors};

  void run(std::string_view port_text = "3", std::string_view baud_text = "19200") {
    run_on(link, port_text, baud_text);
  }
  std::vector<FakeSerialPlatform::Entry> writes_of(Call call) const {
    std::vector<FakeSerialPlatform::Entry> found;
    for (const auto& entry : platform.log) {
      if (entry.call == call) found.push_back(entry);
    }
    return found;
  }
};

TEST_F(LinkTest, ConfigureMakesEachSettingAFreshReadChangeAndWriteInOrder) {
  mark_native(platform.line);
  run("3", "19200");
  const std::vector<Call> expected = {
      Call::open,
      Call::read_line_settings, Call::write_line_settings,  // baud rate
      Call::read_line_settings, Call::write_line_settings,  // two stop bits
      Call::read_line_settings, Call::write_line_settings,  // 8N1
      Call::read_line_settings, Call::write_line_settings,  // parity checking off
      Call::read_queue_sizes,   Call::request_queue_sizes,
      Call::limit_write_time,   Call::write,
      Call::write,              Call::wait_until_sent,
  };
  EXPECT_EQ(platform.calls(), expected);
  EXPECT_EQ(platform.log[0].bytes, "3");

  // The fake starts at 9600 7E2 with parity checking; each write is the read before it
  // with exactly one step's change.
  const auto writes = writes_of(Call::write_line_settings);
  ASSERT_EQ(writes.size(), 4u);
  const LineSettings& baud = writes[0].settings;
  EXPECT_EQ(baud.baud_rate, 19200u);
  EXPECT_EQ(baud.data_bits, 7);
  EXPECT_EQ(baud.stop_bits, StopBits::two);
  EXPECT_EQ(baud.parity, Parity::even);
  EXPECT_TRUE(baud.parity_checking);

  const LineSettings& stop = writes[1].settings;
  EXPECT_EQ(stop.baud_rate, 19200u);
  EXPECT_EQ(stop.data_bits, 7);
  EXPECT_EQ(stop.stop_bits, StopBits::two);
  EXPECT_EQ(stop.parity, Parity::even);
  EXPECT_TRUE(stop.parity_checking);

  const LineSettings& frame = writes[2].settings;
  EXPECT_EQ(frame.data_bits, 8);
  EXPECT_EQ(frame.stop_bits, StopBits::one);
  EXPECT_EQ(frame.parity, Parity::none);
  EXPECT_FALSE(frame.parity_checking);

  EXPECT_EQ(writes[3].settings.stop_bits, StopBits::one);
  EXPECT_FALSE(writes[3].settings.parity_checking);
  for (const auto& write : writes) EXPECT_TRUE(native_marked(write.settings));

  const auto requests = writes_of(Call::request_queue_sizes);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].queues.receive, 1024u);
  EXPECT_EQ(requests[0].queues.transmit, 2048u);  // as the driver reported it
  EXPECT_EQ(writes_of(Call::limit_write_time)[0].milliseconds, 2000u);

  EXPECT_EQ(platform.received, "LP1;TT0;");
  EXPECT_EQ(errors.count(), 0);
  EXPECT_FALSE(link.failed());
  EXPECT_EQ(link.failure_message(), "");
}

TEST_F(LinkTest, TransmitQueueOfZeroIsPassedOnAsReported) {
  platform.queues = {0, 0};
  run();
  EXPECT_EQ(writes_of(Call::request_queue_sizes)[0].queues.transmit, 0u);
  EXPECT_EQ(platform.queues.receive, 1024u);
}

TEST_F(LinkTest, FailedOpenMakesEveryLaterStep52AndTouchesNothing) {
  platform.fail_call(1, system_failure(code_not_found));
  run();
  EXPECT_EQ(platform.calls(), std::vector<Call>{Call::open});
  // 69 for the open, then 52 for five settings, the time limit and two sends.
  EXPECT_EQ(errors.count(), 1 + 6 + 2);
  EXPECT_EQ(errors.last(), error_number::bad_file_number);
  EXPECT_EQ(files.find(1), nullptr);
  EXPECT_EQ(link.failure_message(), "Serial port COM3 could not be opened (no such device)");
}

TEST_F(LinkTest, OpenRecords69WhateverTheSystemSaidAnd64ForARefusedName) {
  const struct {
    CallOutcome outcome;
    int recorded;
  } table[] = {
      {system_failure(code_not_found), error_number::device_io_error},
      {system_failure(code_denied), error_number::device_io_error},
      {{code_invalid, error_number::bad_file_name}, error_number::bad_file_name},
  };
  for (const auto& row : table) {
    FakeSerialPlatform fake;
    FileTable table_of_files;
    ErrorState state{note_fatal};
    SerialLink port{fake, table_of_files, state};
    fake.fail_call(1, row.outcome);
    port.open("3");
    EXPECT_EQ(state.last(), row.recorded) << row.outcome.system_code;
    EXPECT_EQ(state.count(), 1);
  }
}

TEST_F(LinkTest, ARefusedNameIsToldAsSuch) {
  platform.fail_call(1, {code_invalid, error_number::bad_file_name});
  run("*");
  EXPECT_EQ(link.failure_message(), "Serial port COM* could not be opened (invalid name)");
}

TEST_F(LinkTest, FileNumberOneAlreadyOpenIs55AndNothingIsOpened) {
  OpenFile other{1, FileKind::settings_file, nullptr};
  ASSERT_TRUE(files.add(other, errors));
  link.open("3");
  EXPECT_EQ(errors.last(), error_number::file_already_open);
  EXPECT_TRUE(platform.log.empty());
  link.send("LP1;");  // number 1 is no serial port
  EXPECT_EQ(errors.last(), error_number::bad_file_mode);
  EXPECT_TRUE(platform.log.empty());
}

TEST_F(LinkTest, ThePortIsFileNumberOneAndStaysOpen) {
  run();
  const OpenFile* port = files.find(1);
  ASSERT_NE(port, nullptr);
  EXPECT_EQ(port->kind, FileKind::serial_port);
}

TEST_F(LinkTest, ARefusedSettingFailsTheLinkOnlyWhenTheLineEndsWrong) {
  // Calls 5, 7 and 9 are the writes of two stop bits, 8N1 and parity checking off; call
  // 10 is the read of the line after a refusal. A mini UART has one stop bit only and
  // stands at 8N1 already.
  const struct {
    std::vector<std::size_t> failing_calls;
    bool mini_uart;
    std::uint32_t keeps_rate;
    std::uint32_t refused_baud_rate;
    std::string_view baud_text;
    std::string_view message;
    ModemLines lines = {};
  } table[] = {
      {{5}, false, 0, 0, "19200", ""},
      {{}, true, 0, 0, "19200", ""},
      {{9}, false, 0, 0, "19200", ""},  // 8N1 already took parity checking off
      {{7}, false, 0, 0, "19200", "Serial port COM3 refused the line settings"},
      {{5, 10}, false, 0, 0, "19200", "Serial port COM3 refused the line settings"},
      {{5}, false, 19584, 0, "19200", ""},  // 2 % off: the same rate
      {{5}, false, 19585, 0, "19200", "Serial port COM3 refused the line settings"},
      {{}, true, 0, 300, "300",
       "Serial port COM3 refused the line settings (baud rate 300 not supported); sent at 9600 baud, the line's "
       "rate before"},
      // The lines asked for hold on the line the steps leave: the refused step is forgiven.
      {{}, true, 0, 0, "19200", "", {LineLevel::off, LineLevel::off}},
  };
  for (const auto& row : table) {
    FakeSerialPlatform fake;
    FileTable table_of_files;
    ErrorState state{note_fatal};
    SerialLink port{fake, table_of_files, state};
    for (const std::size_t call : row.failing_calls) fake.fail_call(call, system_failure(code_invalid));
    if (row.mini_uart) {
      fake.one_stop_bit_only = true;
      fake.line.data_bits = 8;
      fake.line.stop_bits = StopBits::one;
      fake.line.parity = Parity::none;
      fake.line.parity_checking = false;
    }
    fake.keeps_rate = row.keeps_rate;
    fake.refused_baud_rate = row.refused_baud_rate;
    run_on(port, "3", row.baud_text, row.lines);
    SCOPED_TRACE(std::string(row.message) + " at " + std::string(row.baud_text) + " keeping " +
                 std::to_string(row.keeps_rate) + (row.mini_uart ? " mini UART" : "") +
                 (row.lines.any() ? " lines asked" : ""));
    // The refusal is recorded all the same; every step still runs, and one more read
    // of the line follows them.
    EXPECT_GE(state.count(), 1);
    EXPECT_EQ(state.last(), error_number::invalid_call);
    const auto calls = fake.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), Call::write_line_settings), 4);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), Call::read_line_settings), 5);
    EXPECT_EQ(fake.received, "LP1;TT0;");
    EXPECT_EQ(port.failed(), !row.message.empty());
    EXPECT_EQ(port.failure_message(), row.message);
  }
}

TEST_F(LinkTest, ModemLinesAreSetAfterTheOpenCarriedByEachSettingAndSetAgainAfterThem) {
  platform.line.baud_rate = 0;  // found hung up (B0): leaving it raises both lines again
  const ModemLines asked{LineLevel::off, LineLevel::on};
  link.open("3");
  link.configure("19200", asked);
  link.send("LP1;");
  link.wait_until_sent();
  const std::vector<Call> expected = {
      Call::open,           Call::set_modem_lines,
      Call::read_line_settings, Call::write_line_settings, Call::set_modem_lines,
      Call::read_line_settings, Call::write_line_settings, Call::set_modem_lines,
      Call::read_line_settings, Call::write_line_settings, Call::set_modem_lines,
      Call::read_line_settings, Call::write_line_settings, Call::set_modem_lines,
      Call::set_modem_lines, Call::read_queue_sizes, Call::request_queue_sizes, Call::limit_write_time,
      Call::write,          Call::wait_until_sent,
  };
  EXPECT_EQ(platform.calls(), expected);
  // DTR goes down after the open and after each write; RTS goes up once, after them all.
  const auto sets = writes_of(Call::set_modem_lines);
  for (std::size_t i = 0; i + 1 < sets.size(); ++i) {
    EXPECT_EQ(sets[i].settings.modem_lines.dtr, LineLevel::off);
    EXPECT_EQ(sets[i].settings.modem_lines.rts, LineLevel::as_found);
  }
  EXPECT_EQ(sets.back().settings.modem_lines.dtr, LineLevel::as_found);
  EXPECT_EQ(sets.back().settings.modem_lines.rts, LineLevel::on);
  for (const auto& entry : writes_of(Call::write_line_settings)) {
    EXPECT_EQ(entry.settings.modem_lines.dtr, LineLevel::off);
    EXPECT_EQ(entry.settings.modem_lines.rts, LineLevel::on);
  }
  EXPECT_EQ(platform.lines_now.dtr, LineLevel::off);
  EXPECT_EQ(platform.lines_now.rts, LineLevel::on);
  EXPECT_EQ(platform.received, "LP1;");
  EXPECT_FALSE(link.failed());
}

TEST_F(LinkTest, ModemLinesThatMayNotHoldSendNothing) {
  // Call 2 lowers the lines after the open; calls 4, 7, 10 and 13 write the line
  // settings, each followed by a lowering.
  const struct {
    const char* what;
    bool has_modem_lines;
    std::vector<std::size_t> failing_calls;
    std::uint32_t refused_baud_rate;
    bool at_the_run_line;  // 300 baud 8N1, and the line settings hold the lines, as a DCB does
    std::string message;
    std::uint32_t falls_back_to_rate = 0;  // from a line found at rate 0, as ftdi_sio does
    ModemLines asked = {LineLevel::off, LineLevel::off};
  } table[] = {
      {"a port without modem lines", false, {}, 0, false,
       "Serial port COM3 refused the line settings (no modem lines on this port)"},
      {"setting them fails", true, {2}, 0, false,
       "Serial port COM3 refused the line settings (" + std::string(denied_reason) + ")"},
      {"a refused rate", true, {}, 300, false,
       "Serial port COM3 refused the line settings (baud rate 300 not supported)"},
      // Only the lines tell that the refused writes matter: the line is the run's already.
      {"refused line settings that carry them", true, {4, 7, 10, 13}, 0, true,
       "Serial port COM3 refused the line settings (baud rate 300 not supported)"},
      {"a refused rate that the driver replaces with its own, raising the lines", true, {}, 300, false,
       "Serial port COM3 refused the line settings (baud rate 300 not supported)", 9600},
#ifndef _WIN32
      // Where the line settings do not hold the lines, one asked ON stays down after a refusal.
      {"a refused rate with RTS asked ON", true, {}, 300, false,
       "Serial port COM3 refused the line settings (baud rate 300 not supported)", 0,
       {LineLevel::off, LineLevel::on}},
#endif
  };
  for (const auto& row : table) {
    SCOPED_TRACE(row.what);
    FakeSerialPlatform fake;
    FileTable table_of_files;
    ErrorState state{note_fatal};
    SerialLink port{fake, table_of_files, state};
    fake.has_modem_lines = row.has_modem_lines;
    fake.refused_baud_rate = row.refused_baud_rate;
    fake.falls_back_to_rate = row.falls_back_to_rate;
    if (row.falls_back_to_rate != 0) fake.line.baud_rate = 0;
    if (row.at_the_run_line) {
      fake.line = {.baud_rate = 300, .data_bits = 8, .stop_bits = StopBits::one, .parity = Parity::none,
                   .parity_checking = false, .modem_lines = {LineLevel::on, LineLevel::on}, .native = {}};
    }
    for (const std::size_t call : row.failing_calls) {
      fake.fail_call(call, system_failure(call == 2 ? code_denied : code_invalid));
    }
    if (row.asked.rts == LineLevel::on) fake.lines_now = {LineLevel::off, LineLevel::off};
    port.open("3");
    port.configure("300", row.asked);
    port.send("LP1;");
    port.wait_until_sent();
    EXPECT_TRUE(port.failed());
    EXPECT_EQ(port.failure_message(), row.message);
    const auto calls = fake.calls();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), Call::write), 0);
    EXPECT_EQ(fake.received, "");
    // Asked OFF, both end low on every path, a refused one included; none goes up.
    if (row.has_modem_lines) {
      EXPECT_EQ(fake.lines_now.dtr, LineLevel::off);
      EXPECT_EQ(fake.lines_now.rts, LineLevel::off);
    }
  }
}

TEST_F(LinkTest, EachSettingStartsFromAFreshRead) {
  // The driver makes the nearest rate it can; every later setting must write back what
  // the driver holds, not what the link asked for before.
  platform.keeps_rate = 19231;
  run("3", "19200");
  const auto writes = writes_of(Call::write_line_settings);
  ASSERT_EQ(writes.size(), 4u);
  EXPECT_EQ(writes[0].settings.baud_rate, 19200u);
  for (std::size_t i = 1; i < writes.size(); ++i) EXPECT_EQ(writes[i].settings.baud_rate, 19231u) << i;
}

TEST_F(LinkTest, FailedReadRecordsTheMappedErrorAndSkipsOnlyThatSetting) {
  platform.fail_call(2, system_failure(code_denied));  // the read before the baud rate
  run();
  EXPECT_EQ(errors.count(), 1);
  EXPECT_EQ(errors.last(), system_failure(code_denied).error_number);
  EXPECT_EQ(writes_of(Call::write_line_settings).size(), 3u);
  EXPECT_EQ(platform.line.baud_rate, 9600u);
  EXPECT_EQ(link.failure_message(),
            "Serial port COM3 refused the line settings (" + std::string(denied_reason) + ")");
}

TEST_F(LinkTest, QueueAndTimeLimitFailuresAreSettingFailures) {
  const struct {
    std::size_t call;
    int recorded;
    std::string_view received;
  } table[] = {
      {10, error_number::path_file_access_error, "LP1;"},  // the queue read: the mapped error
      {11, error_number::invalid_call, "LP1;"},   // the queue request: always 5
      // The time limit: the number it reports; and with no bound on a write, no write.
      {12, error_number::invalid_call, ""},
  };
  for (const auto& row : table) {
    FakeSerialPlatform fake;
    FileTable table_of_files;
    ErrorState state{note_fatal};
    SerialLink port{fake, table_of_files, state};
    fake.fail_call(row.call, {code_unexplained, row.recorded});
    port.open("3");
    port.configure("9600");
    port.send("LP1;");
    EXPECT_EQ(state.count(), 1) << row.call;
    EXPECT_EQ(state.last(), row.recorded) << row.call;
    EXPECT_EQ(port.failure_message(), "Serial port COM3 refused the line settings") << row.call;
    EXPECT_EQ(fake.received, row.received) << row.call;
  }
}

TEST_F(LinkTest, RefusedBaudRateIsNamedAndTheRestStillApplies) {
  const struct {
    std::string_view baud_text;
    std::string_view message;
    std::uint32_t line_rate = 9600;
    std::uint32_t falls_back_to_rate = 0;  // the rate the driver puts in place of a refused one
  } table[] = {
      {"fast", "Serial port COM3 refused the line settings (baud rate 0 not supported); sent at 9600 baud, "
               "the line's rate before"},
      {"=9600", "Serial port COM3 refused the line settings (baud rate 0 not supported); sent at 9600 baud, "
                "the line's rate before"},
      {"4294967296", "Serial port COM3 refused the line settings (baud rate 0 not supported); sent at 9600 "
                     "baud, the line's rate before"},
      // A line left hung up (B0) takes rate 0 as no change, as a terminal does.
      {"=9600", "Serial port COM3 refused the line settings (baud rate 0 not supported); sent at the line's "
                "rate before", 0},
      // No instrument line runs this slowly: "BAUD 19,200" is a mistake, not a rate.
      {" 19,200", "Serial port COM3 refused the line settings (baud rate 19 not supported); sent at 9600 "
                  "baud, the line's rate before"},
      {"49", "Serial port COM3 refused the line settings (baud rate 49 not supported); sent at 9600 baud, "
             "the line's rate before"},
      {"4000000", "Serial port COM3 refused the line settings (baud rate 4000000 not supported); sent at 9600 "
                  "baud, the driver's own rate", 19200, 9600},
  };
  for (const auto& row : table) {
    FakeSerialPlatform fake;
    FileTable table_of_files;
    ErrorState state{note_fatal};
    SerialLink port{fake, table_of_files, state};
    fake.line.baud_rate = row.line_rate;
    if (row.line_rate == 0) fake.refused_baud_rate = 1;
    if (row.falls_back_to_rate != 0) fake.refused_baud_rate = 4000000;
    fake.falls_back_to_rate = row.falls_back_to_rate;
    run_on(port, "3", row.baud_text);
    SCOPED_TRACE(std::string(row.baud_text) + " on a line at " + std::to_string(row.line_rate));
    EXPECT_EQ(fake.received, "LP1;TT0;");
    EXPECT_EQ(state.count(), 1);
    EXPECT_EQ(state.last(), error_number::invalid_call);
    EXPECT_EQ(fake.line.baud_rate, row.falls_back_to_rate != 0 ? row.falls_back_to_rate : row.line_rate);
    EXPECT_EQ(fake.line.data_bits, 8);
    EXPECT_EQ(fake.line.parity, Parity::none);
    EXPECT_EQ(port.failure_message(), row.message);
  }
}

TEST_F(LinkTest, ShortOrFailedWriteIs24AndNothingIsWrittenAfterIt) {
  platform.takes_at_most = 2;
  run();
  EXPECT_EQ(errors.count(), 1);
  EXPECT_EQ(errors.last(), error_number::device_timeout);
  EXPECT_EQ(platform.received, "LP");  // never "LPTT0;", a command of its own
  EXPECT_EQ(writes_of(Call::write).size(), 1u);
  EXPECT_EQ(link.failure_message(), "Serial port COM3 did not take all commands");
}

TEST_F(LinkTest, TimedOutWriteSaysSo) {
  platform.fail_call(13, system_failure(code_timed_out));
  run();
  EXPECT_EQ(errors.count(), 1);
  EXPECT_EQ(errors.last(), error_number::device_timeout);
  EXPECT_EQ(platform.received, "");  // no TT0; without the LP1; before it
  EXPECT_EQ(writes_of(Call::write).size(), 1u);
  EXPECT_EQ(link.failure_message(), "Serial port COM3 did not take all commands (timed out)");
}

TEST_F(LinkTest, CommandsCountAsSentOnlyOnceTheLineHasTakenThemInTime) {
  // "LP1;TT0;" is 8 bytes of 10 bits: 5 ms on the line at 19200 baud, 267 ms at 300.
  const struct {
    std::string_view baud_text;
    std::uint32_t held_for_ms;
    std::uint32_t waited_ms;
    bool sent;
  } table[] = {
      {"19200", 0, 2005, true},
      {"19200", 2005, 2005, true},
      {"19200", 2006, 2005, false},
      {"300", 2267, 2267, true},
      {"300", 2268, 2267, false},
      {"19200", UINT32_MAX, 2005, false},
      {"fast", 2009, 2009, true},  // a refused rate: the line keeps its 9600
  };
  for (const auto& row : table) {
    FakeSerialPlatform fake;
    FileTable table_of_files;
    ErrorState state{note_fatal};
    SerialLink port{fake, table_of_files, state};
    fake.line_held_for_ms = row.held_for_ms;
    run_on(port, "3", row.baud_text);
    SCOPED_TRACE(std::string(row.baud_text) + " held " + std::to_string(row.held_for_ms));
    for (const auto& entry : fake.log) {
      if (entry.call == Call::wait_until_sent) {
        EXPECT_EQ(entry.milliseconds, row.waited_ms);
      }
    }
    if (row.sent) {
      EXPECT_EQ(fake.calls().back(), Call::wait_until_sent);
      EXPECT_EQ(fake.received, "LP1;TT0;");
      EXPECT_EQ(fake.discarded, "");
      continue;
    }
    // What the line did not take is thrown away, so the process need not wait for it.
    EXPECT_EQ(fake.calls().back(), Call::discard_output);
    EXPECT_EQ(fake.received, "");
    EXPECT_EQ(fake.discarded, "LP1;TT0;");
    EXPECT_EQ(state.last(), error_number::device_timeout);
    EXPECT_EQ(port.failure_message(), "Serial port COM3 did not take all commands (timed out)");
  }
}

TEST_F(LinkTest, TheWritesAndTheWaitShareOneDeadline) {
  // Each write waits `write_waits_ms` for room; "LP1;" is 3 ms on the line at 19200.
  const struct {
    std::uint32_t write_waits_ms;
    std::vector<std::uint32_t> write_limits;
    std::uint32_t waited_ms;  // what the wait for "sent" was given; none after a failure
    std::string_view received;
  } table[] = {
      {0, {2000, 2003}, 2005, "LP1;TT0;"},
      {700, {2000, 1303}, 605, "LP1;TT0;"},
      {1001, {2000, 1002}, 3, "LP1;TT0;"},
      {1002, {2000, 1001}, 0, "LP1;"},
      {2001, {2000}, 0, ""},
  };
  for (const auto& row : table) {
    FakeSerialPlatform fake;
    FileTable table_of_files;
    ErrorState state{note_fatal};
    SerialLink port{fake, table_of_files, state};
    fake.write_waits_ms = row.write_waits_ms;
    run_on(port, "3", "19200");
    SCOPED_TRACE(row.write_waits_ms);
    std::vector<std::uint32_t> limits;
    for (const auto& entry : fake.log) {
      if (entry.call == Call::write) limits.push_back(entry.milliseconds);
      if (entry.call == Call::wait_until_sent) {
        EXPECT_EQ(entry.milliseconds, row.waited_ms);
      }
    }
    EXPECT_EQ(limits, row.write_limits);
    EXPECT_EQ(fake.received, row.received);
    EXPECT_EQ(port.failed(), row.received != "LP1;TT0;");
  }
}

TEST_F(LinkTest, AfterASendRanOutOfTimeTheQueueIsThrownAwayWithoutAnotherWait) {
  platform.line_held_for_ms = 1;
  platform.takes_at_most = 3;
  run();
  const auto waits = writes_of(Call::wait_until_sent);
  ASSERT_EQ(waits.size(), 1u);
  EXPECT_EQ(waits[0].milliseconds, 0u);
  EXPECT_EQ(platform.calls().back(), Call::discard_output);
  EXPECT_EQ(platform.discarded, "LP1");
  EXPECT_EQ(link.failure_message(), "Serial port COM3 did not take all commands");
}

TEST_F(LinkTest, TheFirstFailureIsTheOneTold) {
  platform.fail_call(3, system_failure(code_invalid));       // baud rate refused
  // The first send, behind the read of the line that a refusal brings.
  platform.fail_call(14, system_failure(code_timed_out));
  run("4", "19200");
  EXPECT_EQ(errors.last(), error_number::device_timeout);
  EXPECT_EQ(link.failure_message(),
            "Serial port COM4 refused the line settings (baud rate 19200 not supported)");
}

TEST_F(LinkTest, AReasonTheSystemDidNotGiveIsNotMade) {
  platform.fail_call(1, system_failure(code_unexplained));
  run("=3");
  EXPECT_EQ(link.failure_message(), "Serial port COM=3 could not be opened");
}

TEST_F(LinkTest, CommandBytesGoOutExactlyAsGiven) {
  link.open("1");
  link.configure("9600");
  const std::string_view bytes("A\0\r\n\xff;", 6);
  link.send(bytes);
  EXPECT_EQ(platform.received, bytes);
  EXPECT_EQ(writes_of(Call::write).size(), 1u);
}

}  // namespace
}  // namespace vornset
