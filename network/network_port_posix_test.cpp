#include "network/network_port.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "frame/error_state.h"
#include "frame/file_table.h"
#include "serial/serial_link.h"
#include "tests/support/device_server_posix.h"

namespace vornset {
namespace {

// A peer on the loopback address, scripted by a row: what it says as the client
// connects, how it answers the offer and each RFC 2217 request, and when it stops.
struct PeerRow {
  const char* name;
  std::string_view greeting;
  std::uint8_t option_answer;  // the verb for the client's WILL COM-PORT-OPTION; 0: none
  std::uint8_t kept_command;   // a request of this command is answered with `kept_value`
  std::uint8_t kept_value;     // for a rate (command 1): the rate answered, in percent of the asked
  bool stops_reading_at_data;  // reads nothing more once a command has arrived
  bool half_closes_after_query;  // shuts its side once it has answered a rate query after the commands
  const char* baud;
  const char* failure;  // "" for a run that sends; "%P" stands for the port text
  bool commands_reach;  // "LP1;TT0;" reached the peer
  int at_least_ms;      // the run lasts at least this long
};

constexpr std::string_view ser2net_rfc2217{"\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x01\xFF\xFE\x01\xFF\xFD\x00\xFF\xFB\x00\xFF\xFD\x2C", 21};
constexpr std::string_view plain_telnet{"\xFF\xFB\x03\xFF\xFD\x03\xFF\xFB\x01\xFF\xFE\x01\xFF\xFD\x00\xFF\xFB\x00", 18};
constexpr std::uint8_t do_verb = 0xFD;
constexpr std::uint8_t dont_verb = 0xFE;

class ScriptedPeer {
 public:
  explicit ScriptedPeer(const PeerRow& row) : row_(row) {
    listener_ = testing_support::silent_listener(port_);
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedPeer() {
    finished_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }
  int port() const { return port_; }
  // Every byte the client sent; read once the run is over.
  const std::string& heard() {
    finished_ = true;
    if (thread_.joinable()) thread_.join();
    return heard_;
  }

 private:
  void serve() {
    // Every wait is bounded: a client that never comes fails the row, not the suite.
    const int client = testing_support::accept_within(listener_, 5000);
    if (client < 0) return;
    ::send(client, row_.greeting.data(), row_.greeting.size(), MSG_NOSIGNAL);
    std::size_t answered_up_to = 0;
    std::uint32_t rate = 9600;
    bool reading = true;
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!finished_ && std::chrono::steady_clock::now() < give_up) {
      pollfd wait{client, POLLIN, 0};
      if (!reading || ::poll(&wait, 1, 50) <= 0) {
        if (!reading) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        continue;
      }
      char buffer[512];
      const ssize_t got = ::recv(client, buffer, row_.stops_reading_at_data ? 1 : sizeof buffer, 0);
      if (got <= 0) break;
      heard_.append(buffer, static_cast<std::size_t>(got));
      if (row_.stops_reading_at_data && heard_.ends_with("L")) reading = false;
      if (row_.option_answer != 0 && heard_.ends_with("\xFF\xFB\x2C")) {
        const char answer[] = {'\xFF', static_cast<char>(row_.option_answer), '\x2C'};
        ::send(client, answer, sizeof answer, MSG_NOSIGNAL);
      }
      for (std::size_t at = heard_.find("\xFF\xFA\x2C", answered_up_to); at != std::string::npos;
           at = heard_.find("\xFF\xFA\x2C", answered_up_to)) {
        const std::size_t end = heard_.find("\xFF\xF0", at);
        if (end == std::string::npos) break;
        answered_up_to = end + 2;
        std::string answer = heard_.substr(at, end + 2 - at);
        const auto command = static_cast<std::uint8_t>(answer[3]);
        if (command == 1) {
          // A rate query (0) is answered with the rate in use.
          std::uint32_t asked = 0;
          for (std::size_t index = 4; index < 8; ++index) asked = (asked << 8) | static_cast<std::uint8_t>(answer[index]);
          if (asked != 0) rate = row_.kept_command == 1 ? asked / 100 * row_.kept_value : asked;
          for (int index = 0; index < 4; ++index) answer[7 - static_cast<std::size_t>(index)] = static_cast<char>(rate >> (8 * index));
        } else if (command == row_.kept_command) {
          answer[4] = static_cast<char>(row_.kept_value);
        }
        answer[3] = static_cast<char>(command + 100);
        ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
        if (row_.half_closes_after_query && command == 1 && heard_.find("TT0;") < at) ::shutdown(client, SHUT_WR);
      }
    }
    ::close(client);
  }

  PeerRow row_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> finished_{false};
  std::string heard_;
  std::thread thread_;
};

void ignore_fatal(int) {}

class NetworkPortAgainstAPeer : public ::testing::TestWithParam<PeerRow> {};

TEST_P(NetworkPortAgainstAPeer, SendsOnlyOnALineAsAskedAndTellsWhyNot) {
  const PeerRow& row = GetParam();
  ScriptedPeer peer(row);
  const std::string port_text = "rfc2217://127.0.0.1:" + std::to_string(peer.port());
  FileTable files;
  ErrorState errors{ignore_fatal};
  SerialLink link{network_serial_platform(), files, errors};
  const auto start = std::chrono::steady_clock::now();
  link.open(port_text);
  link.configure(row.baud);
  link.send("LP1;");
  link.send("TT0;");
  link.wait_until_sent();
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  std::string failure = row.failure;
  if (const std::size_t at = failure.find("%P"); at != std::string::npos) failure.replace(at, 2, port_text);
  EXPECT_EQ(link.failure_message(), failure);
  const std::string& heard = peer.heard();
  EXPECT_EQ(heard.find("LP1;TT0;") != std::string::npos, row.commands_reach) << heard.size();
  EXPECT_GE(elapsed.count(), row.at_least_ms);
  // Within the send limit, the bytes' time on the line and a second.
  EXPECT_LT(elapsed.count(), 3000 + row.at_least_ms);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NetworkPortAgainstAPeer,
    ::testing::Values(
        PeerRow{"TakesEverything", ser2net_rfc2217, 0, 0, 0, false, false, "19200", "", true, 0},
        // 8 bytes at 100 baud are 800 ms on the line: "sent" waits for them.
        PeerRow{"WaitsTheBytesLineTime", ser2net_rfc2217, 0, 0, 0, false, false, "100", "", true, 800},
        PeerRow{"DataSizeKeptAtSeven", ser2net_rfc2217, 0, 2, 7, false, false, "19200",
                "Serial port %P refused the line settings (7 data bits)", false, 0},
        PeerRow{"ParityKeptOdd", ser2net_rfc2217, 0, 3, 2, false, false, "19200",
                "Serial port %P refused the line settings (odd parity)", false, 0},
        PeerRow{"TwoStopBitsKept", ser2net_rfc2217, 0, 4, 2, false, false, "19200",
                "Serial port %P refused the line settings (two stop bits)", false, 0},
        // A rate within 2 % is the rate, as a local driver's rounding is; 3 % off is not.
        PeerRow{"RateWithinTwoPercent", ser2net_rfc2217, 0, 1, 99, false, false, "19200", "", true, 0},
        PeerRow{"RateThreePercentOff", ser2net_rfc2217, 0, 1, 97, false, false, "19200",
                "Serial port %P refused the line settings (baud rate 19200 not supported)", false, 0},
        PeerRow{"StopsReadingOnceCommandsArrive", ser2net_rfc2217, 0, 0, 0, true, false, "19200",
                "Serial port %P did not take all commands (timed out)", false, 2000},
        PeerRow{"TelnetWithoutTheOption", plain_telnet, dont_verb, 0, 0, false, false, "19200",
                "Serial port %P could not be opened (the server does not take RFC 2217; a raw TCP port is "
                "written COMtcp://...)",
                false, 0},
        // Silent at first, then agrees to the offer.
        PeerRow{"SilentUntilOffered", "", do_verb, 0, 0, false, false, "19200", "", true, 0},
        PeerRow{"HalfClosesOnceItHasAnswered", ser2net_rfc2217, 0, 0, 0, false, true, "19200", "", true, 0}),
    [](const ::testing::TestParamInfo<PeerRow>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace vornset
