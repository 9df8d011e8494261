// Serial failures are never silent: each run that could not send says which device
// failed and why, and ends with exit code 1.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <poll.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <functional>
#include <cstdio>
#include <thread>
#include <utility>
#include <vector>

#include "tests/support/device_server_posix.h"
#include "tests/support/installed_program_posix.h"
#include "tests/support/serial_line_posix.h"

namespace vornset::testing_support {
namespace {

constexpr const char* kHfLine = "HF Mode,   LP Filter in    PWR out\r\n";

class SerialFailures : public testing::Test {
 protected:
  SerialLine line;
  InstalledProgram program{VORNSET_PROGRAM};
};

TEST_F(SerialFailures, APortThatDoesNotExist) {
  program.write_settings("COM/dev/vornset-no-such-port\r\n");
  const ProgramRun run = program.run({});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(visible_text(run.terminal),
            std::string(kHfLine) + "Serial port /dev/vornset-no-such-port could not be opened (no such device)\r\n");
}

// A settings file that fails the run as new users write it: the line of today, then the
// file that was read and what to write instead. "@" stands for the port's device path.
struct SettingsMistake {
  const char* name;
  const char* settings;
  const char* failure;
  const char* fix;
};

class SettingsMistakes : public SerialFailures, public testing::WithParamInterface<SettingsMistake> {
 protected:
  std::string with_device(std::string text) const {
    for (std::size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at)) {
      text.replace(at, 1, line.device_path());
    }
    return text;
  }
};

// Without a terminal the line goes to standard error whole, as a log keeps it.
TEST_P(SettingsMistakes, NameTheFileAndTheFixBehindTheFailure) {
  program.write_settings(with_device(GetParam().settings));
  RunOptions options = program.options({});
  options.streams = Streams::no_terminal;
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: " + with_device(GetParam().failure) + "; VornSet.ini (" +
                                 program.program_directory() + ")" + with_device(GetParam().fix) + "\n");
  EXPECT_EQ(line.received(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Files, SettingsMistakes,
    testing::Values(
        SettingsMistake{"EqualsSign", "COM=3\r\n", "Serial port COM=3 could not be opened (no such device)",
                        ": write COM3, not COM=3"},
        SettingsMistake{"BlankBeforeThePath", "COM @\r\n", "Serial port COM @ could not be opened (no such device)",
                        ": write COM@, not COM @"},
        SettingsMistake{"BlankBehindThePath", "COM@ \r\n", "Serial port @  could not be opened (no such device)",
                        " has blanks behind COM@: end the line right behind the port"},
        SettingsMistake{"LfLineEnds", "COM@\nBAUD 4800\n",
                        "Serial port @\xE2\x90\x8A" "BAUD 4800\xE2\x90\x8A could not be opened (no such device)",
                        " has LF line ends: end each line with CR LF"},
        SettingsMistake{"RemarkTakenAsThePort", "COM@\r\n; communication settings\r\n",
                        "Serial port COMmunication settings could not be opened (no such device)",
                        " takes the port from \"; communication settings\": keep COM out of every line but the "
                        "port's"},
        SettingsMistake{"KeyInsideAWordOfARemark", "COM@\r\n; 9600 is recommended\r\n",
                        "Serial port COMmended could not be opened (no such device)",
                        " takes the port from \"; 9600 is recommended\": keep COM out of every line but the port's"},
        SettingsMistake{"AddressOfAnotherScheme", "COMtelnet://127.0.0.1:4000\r\n",
                        "Serial port COMtelnet://127.0.0.1:4000 could not be opened (no such device)",
                        ": write COMrfc2217://HOST:PORT or COMtcp://HOST:PORT, not COMtelnet://127.0.0.1:4000"},
        // A modem line that is not understood fails the run before the port is opened.
        SettingsMistake{"ModemLineNotOnOrOff", "COM@\r\nDTR 0\r\n", "Modem line setting not understood, nothing sent",
                        ": write DTR OFF or DTR ON, not DTR 0"},
        SettingsMistake{"ModemLineWithEqualsSign", "COM@\r\n  rts=off\r\nRTS ON\r\n",
                        "Modem line setting not understood, nothing sent", ": write RTS OFF or RTS ON, not rts=off"},
        SettingsMistake{"ModemLineBehindLfLineEnds", "COM@\r\nBAUD 9600\nDTR OFF\n",
                        "Modem line setting not understood, nothing sent",
                        " has LF line ends: end each line with CR LF"}),
    [](const testing::TestParamInfo<SettingsMistake>& row) { return std::string(row.param.name); });

// How a terminal program holds the port in a row below.
enum class Hold { flock, flock_locker_gone, lock_file, stale_lock_file };

// A process named as a terminal program that holds the port as the row says, until the
// test ends.
class Holder {
 public:
  Holder(const std::string& device, Hold hold) {
    int ready[2];
    if (pipe(ready) != 0) return;
    const pid_t child = fork();
    if (child == 0) {
      prctl(PR_SET_NAME, "minicom");
      const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (hold != Hold::lock_file && flock(fd, LOCK_EX | LOCK_NB) != 0) _exit(1);
      // The locker leaves and its child keeps the lock: /proc/locks names a process gone.
      if (hold == Hold::flock_locker_gone && fork() != 0) _exit(0);
      const pid_t holder = getpid();
      if (write(ready[1], &holder, sizeof holder) != sizeof holder || hold == Hold::stale_lock_file) _exit(0);
      pause();
      _exit(0);
    }
    close(ready[1]);
    if (read(ready[0], &pid_, sizeof pid_) != sizeof pid_) pid_ = 0;
    close(ready[0]);
    if (hold == Hold::flock_locker_gone || hold == Hold::stale_lock_file) {
      waitpid(child, nullptr, 0);
    } else {
      child_ = child;
    }
    // A stale lock file's process is gone, and its pid may be another process's by now.
    if (hold != Hold::stale_lock_file) running_ = pid_;
  }
  ~Holder() {
    if (running_ > 0) kill(running_, SIGKILL);
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = 0;
  pid_t running_ = 0;  // to end with the test
  pid_t child_ = 0;    // to wait for
};

struct Holding {
  const char* name;
  Hold hold;
  const char* reason;  // "PID" stands for the holder's pid; empty: the port is free to use
};

class HeldPort : public testing::TestWithParam<Holding> {
 protected:
  SerialLine line;
  InstalledProgram program{VORNSET_PROGRAM};
};

TEST_P(HeldPort, IsNamedWithItsHolderAndLeftAlone) {
  const Holding& row = GetParam();
  const bool lock_file = row.hold == Hold::lock_file || row.hold == Hold::stale_lock_file;
  if (lock_file && geteuid() != 0) GTEST_SKIP() << "a private lock directory needs a mount namespace (root)";
  program.write_settings_for(line.device_path());
  const Holder holder(line.device_path(), row.hold);
  ASSERT_GT(holder.pid(), 0);
  RunOptions options = program.options({"7.05"});
  const std::string lock_path =
      program.scratch().file("LCK.." + line.device_path().substr(line.device_path().rfind('/') + 1));
  if (lock_file) {
    options.lock_directory = program.scratch().path();
    char pid[16];
    std::snprintf(pid, sizeof pid, "%10d\n", static_cast<int>(holder.pid()));
    TempDirectory::write_file_at(lock_path, pid);
  }

  const ProgramRun run = program.run_with(options);

  std::string reason = row.reason;
  if (const std::size_t at = reason.find("PID"); at != std::string::npos) {
    reason.replace(at, 3, std::to_string(holder.pid()));
  }
  if (reason.empty()) {
    EXPECT_EQ(run.exit_code, 0) << run.terminal;
    EXPECT_EQ(line.received(), "LP1;TT0;FA00007050000;");
  } else {
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_NE(visible_text(run.terminal).find("Serial port " + line.device_path() + " could not be opened (" +
                                              reason + ")\r\n"),
              std::string::npos)
        << run.terminal;
    EXPECT_EQ(line.received(), "");
  }
  if (lock_file) {
    EXPECT_EQ(access(lock_path.c_str(), F_OK), 0) << "the program removed a lock file";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Holders, HeldPort,
    testing::Values(Holding{"Flock", Hold::flock, "in use by minicom, pid PID"},
                    // Who holds it cannot be read: the reason of old.
                    Holding{"FlockOfAProcessGone", Hold::flock_locker_gone, "in use by another program"},
                    Holding{"LockFile", Hold::lock_file, "in use by minicom, pid PID"},
                    Holding{"StaleLockFile", Hold::stale_lock_file, ""}),
    [](const testing::TestParamInfo<Holding>& row) { return std::string(row.param.name); });

// Run as a user outside the port's group, as a new user of an adapter is.
TEST_F(SerialFailures, APortOfAGroupTheUserLacksNamesTheGroupToJoin) {
  // The test's one thread asks once.
  // cppcheck-suppress getgrnamCalled
  const group* dialout = getgrnam("dialout");
  if (geteuid() != 0 || dialout == nullptr) GTEST_SKIP() << "needs root and a group dialout";
  ASSERT_EQ(chown(line.device_path().c_str(), 0, dialout->gr_gid), 0);
  ASSERT_EQ(chmod(line.device_path().c_str(), 0660), 0);
  for (const std::string& directory : {program.scratch().path(), program.program_directory()}) {
    ASSERT_EQ(chmod(directory.c_str(), 0755), 0);
  }
  program.write_settings_for(line.device_path());
  RunOptions options = program.options({"7.05"});
  options.user = 65534;
  options.columns = 200;  // the one line, unwrapped

  const ProgramRun run = program.run_with(options);

  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(visible_text(run.terminal).find("Serial port " + line.device_path() +
                                            " could not be opened (permission denied: the port belongs to group "
                                            "dialout; add your user to it, then log in again)\r\n"),
            std::string::npos)
      << run.terminal;
  EXPECT_EQ(line.received(), "");
}

TEST_F(SerialFailures, ARefusedBaudRateStillLeavesTheOtherSettingsAndSends) {
  program.write_settings("COM" + line.device_path() + "\r\nBAUD=9600\r\n");  // '=9600' reads as 0
  RunOptions options = program.options({"7.05"});
  options.streams = Streams::no_terminal;  // the whole line, unwrapped
  const ProgramRun run = program.run_with(options);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: Serial port " + line.device_path() +
                                 " refused the line settings (baud rate 0 not supported); sent at 38400 baud, "
                                 "the line's rate before; VornSet.ini (" +
                                 program.program_directory() + "): write BAUD 9600, not BAUD=9600\n");
  EXPECT_EQ(line.received(), "LP1;TT0;FA00007050000;");
  const termios after = line.device_settings();
  EXPECT_EQ(after.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(line.exclusive()) << "a failed run left the port refusing other programs";
}

// A pseudo-terminal has no modem lines: asked for them, the run sends nothing.
TEST_F(SerialFailures, ModemLinesAPortCannotSetSendNothing) {
  for (const char* lines : {"DTR OFF\r\n", "RTS ON\r\n"}) {
    program.write_settings("COM" + line.device_path() + "\r\n" + lines);
    RunOptions options = program.options({"7.05"});
    options.streams = Streams::no_terminal;
    const ProgramRun run = program.run_with(options);
    EXPECT_EQ(run.exit_code, 1) << lines;
    EXPECT_EQ(run.stderr_file,
              "vornset: Serial port " + line.device_path() + " refused the line settings (no modem lines on this port)\n")
        << lines;
    EXPECT_EQ(line.received(), "") << lines;
    EXPECT_FALSE(line.exclusive()) << "a failed run left the port refusing other programs";
  }
}

TEST_F(SerialFailures, APortThatStopsTakingBytesFailsWithinSecondsInsteadOfHanging) {
  program.write_settings_for(line.device_path());
  ASSERT_EQ(tcflow(line.device_fd(), TCOOFF), 0);  // as if flow control held the line off
  const ProgramRun run = program.run({"7.05"});
  EXPECT_FALSE(run.timed_out);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(visible_text(run.terminal).find("Serial port " + line.device_path() +
                                            " did not take all commands (timed out)\r\n"),
            std::string::npos)
      << run.terminal;
  // One deadline for every command and the wait: the send time limit, and the exit
  // within a second of it.
  EXPECT_GE(run.seconds, 2.0);
  EXPECT_LT(run.seconds, 3.0);
  EXPECT_FALSE(line.exclusive()) << "a failed send left the port refusing other programs";
  ASSERT_EQ(tcflow(line.device_fd(), TCOON), 0);
  EXPECT_EQ(line.received(), "") << "a command went out after the run gave up";
}

// A network port's failure line is long: told without a terminal, it comes whole.
ProgramRun quietly(const InstalledProgram& program, std::vector<std::string> arguments) {
  RunOptions options = program.options(std::move(arguments));
  options.streams = Streams::no_terminal;
  return program.run_with(options);
}

// A port behind a device server on the loopback address in front of the line. "%R"
// stands for its RFC 2217 port, "%T" for its raw TCP port.
struct NetworkPort {
  const char* name;
  const char* port_text;
  speed_t rate_after;  // the remote line's rate once the run has ended
  ServerProgram program = ServerProgram::ser2net;
  const char* baud = "19200";
  double at_least_seconds = 0;  // "sent" waits for the bytes' time on the line
  // Root only: the name radio-pi is ::1, then 127.0.0.1, and ::1 drops every attempt to
  // connect, as a host whose IPv6 has stopped answering does.
  bool first_address_silent = false;
};

class NetworkPorts : public SerialFailures, public testing::WithParamInterface<NetworkPort> {
 protected:
  ~NetworkPorts() override {
    for (const int fd : held_) ::close(fd);
  }
  // The run of a row, with the names and addresses the row asks for.
  RunOptions options_for_row(std::vector<std::string> arguments) {
    RunOptions options = program.options(std::move(arguments));
    if (!GetParam().first_address_silent) return options;
    options.hosts_file = program.scratch().write_file("hosts", "::1 radio-pi\n127.0.0.1 radio-pi\n");
    const bool rfc2217 = std::string_view(GetParam().port_text).find("%R") != std::string_view::npos;
    held_.push_back(full_ipv6_listener(rfc2217 ? server.rfc2217_port() : server.raw_port(), held_));
    return options;
  }
  void SetUp() override {
    if (GetParam().first_address_silent && geteuid() != 0) GTEST_SKIP() << "a hosts file of the test's own needs root";
  }
  DeviceServer server{line.device_path(), GetParam().program};
  std::vector<int> held_;
  std::string with_ports(std::string text) const {
    for (const auto& [mark, port] : {std::pair{"%R", server.rfc2217_port()}, std::pair{"%T", server.raw_port()}}) {
      for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
        text.replace(at, 2, std::to_string(port));
      }
    }
    return text;
  }
};

TEST_P(NetworkPorts, CarryTheExactBytesAndSetTheRemoteLineWhereTheProtocolCan) {
  program.write_settings("COM" + with_ports(GetParam().port_text) + "\r\nBAUD " + GetParam().baud + "\r\n");
  // The server puts the device's own settings back once its client has gone, so the line
  // is watched while the run is connected: the last settings other than the device's own.
  const termios own = line.device_settings();
  termios remote = own;
  std::atomic<bool> ended{false};
  std::thread watch([&] {
    while (!ended) {
      const termios now = line.device_settings();
      if (cfgetospeed(&now) != cfgetospeed(&own) || now.c_cflag != own.c_cflag) remote = now;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  const ProgramRun run = program.run_with(options_for_row({"7.05"}));
  ended = true;
  watch.join();
  EXPECT_EQ(run.exit_code, 0) << run.terminal;
  EXPECT_EQ(line.received(), "LP1;TT0;FA00007050000;");
  EXPECT_EQ(cfgetospeed(&remote), GetParam().rate_after);
  EXPECT_EQ(remote.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8));
  EXPECT_GE(run.seconds, GetParam().at_least_seconds);
  EXPECT_LT(run.seconds, GetParam().at_least_seconds + 2.0);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, NetworkPorts,
    testing::Values(NetworkPort{"Rfc2217", "rfc2217://127.0.0.1:%R", B19200},
                    NetworkPort{"Rfc2217SchemeInCapitals", "RFC2217://localhost:%R", B19200},
                    // Raw TCP cannot set the line: the server's 9600 holds, and BAUD is no error.
                    NetworkPort{"RawTcp", "tcp://127.0.0.1:%T", B9600},
                    NetworkPort{"RawTcpIpv4InBrackets", "Tcp://[127.0.0.1]:%T", B9600},
                    // 22 bytes at 50 baud are 4.4 s on the line: no exit 0 before they are out.
                    NetworkPort{"Rfc2217At50Baud", "rfc2217://127.0.0.1:%R", B50, ServerProgram::ser2net, "50", 4.4},
                    NetworkPort{"Rfc2217OfPython3Serial", "rfc2217://127.0.0.1:%R", B19200, ServerProgram::python3_serial},
                    NetworkPort{"Rfc2217OfPython3SerialAt75Baud", "rfc2217://127.0.0.1:%R", B75,
                                ServerProgram::python3_serial, "75", 2.93},
                    // The next address is tried beside the first after 250 ms, within the time.
                    NetworkPort{"Rfc2217NameWhoseFirstAddressDoesNotAnswer", "rfc2217://radio-pi:%R", B19200,
                                ServerProgram::ser2net, "19200", 0, true},
                    NetworkPort{"RawTcpNameWhoseFirstAddressDoesNotAnswer", "tcp://radio-pi:%T", B9600, ServerProgram::ser2net,
                                "19200", 0, true}),
    [](const testing::TestParamInfo<NetworkPort>& row) { return std::string(row.param.name); });

TEST_P(NetworkPorts, RefuseASecondClientWithTheServersWordsAndSendNothing) {
  if (GetParam().program != ServerProgram::ser2net) GTEST_SKIP() << "this server keeps a second client waiting";
  const bool rfc2217 = std::string_view(GetParam().port_text).starts_with("rfc") ||
                       std::string_view(GetParam().port_text).starts_with("RFC");
  const int first = connect_loopback(rfc2217 ? server.rfc2217_port() : server.raw_port());
  ASSERT_GE(first, 0);
  const std::string port_text = with_ports(GetParam().port_text);
  program.write_settings("COM" + port_text + "\r\n");
  RunOptions options = options_for_row({"7.05"});
  options.streams = Streams::no_terminal;
  const ProgramRun run = program.run_with(options);
  ::close(first);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: Serial port " + port_text +
                                 " could not be opened (in use by another client: \"Port already in use\")\n");
  EXPECT_EQ(line.received(), "");
}

// An address that reaches no server, or is no address at all, is refused at once with
// what is wrong. "%U" stands for a loopback port nothing listens on.
struct UnreachedAddress {
  const char* name;
  const char* port_text;
  const char* reason;
};

class UnreachedAddresses : public SerialFailures, public testing::WithParamInterface<UnreachedAddress> {};

TEST_P(UnreachedAddresses, AreRefusedAtOnceWithTheirReason) {
  std::string port_text = GetParam().port_text;
  if (const std::size_t at = port_text.find("%U"); at != std::string::npos) {
    port_text.replace(at, 2, std::to_string(unused_loopback_port()));
  }
  program.write_settings("COM" + port_text + "\r\n");
  const ProgramRun run = quietly(program, {});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file,
            "vornset: Serial port " + port_text + " could not be opened (" + GetParam().reason + ")\n");
  EXPECT_LT(run.seconds, 1.0);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, UnreachedAddresses,
    testing::Values(UnreachedAddress{"NobodyListens", "tcp://127.0.0.1:%U", "connection refused"},
                    UnreachedAddress{"NobodyListensOnIpv6", "tcp://[::1]:%U", "connection refused"},
                    UnreachedAddress{"NoPortNumber", "rfc2217://10.0.0.5", "no port number: write rfc2217://HOST:PORT"},
                    UnreachedAddress{"NoPortNumberBehindTheColon", "tcp://radio-pi:",
                                     "no port number: write tcp://HOST:PORT"},
                    UnreachedAddress{"NoTcpPort", "tcp://127.0.0.1:99999", "port 99999 is not a TCP port"},
                    UnreachedAddress{"Ipv6WithoutBrackets", "tcp://::1:4000", "an IPv6 address goes in brackets"},
                    UnreachedAddress{"SlashBehindThePort", "rfc2217://127.0.0.1:4000/",
                                     "nothing may follow the port number: write rfc2217://127.0.0.1:4000"},
                    UnreachedAddress{"LinkLocalWithoutInterface", "tcp://[fe80::1]:4000",
                                     "a link-local address needs its interface: write [fe80::1%INTERFACE]"},
                    UnreachedAddress{"LinkLocalOnNoSuchInterface", "tcp://[fe80::1%vornset0]:4000",
                                     "no network interface vornset0 here"}),
    [](const testing::TestParamInfo<UnreachedAddress>& row) { return std::string(row.param.name); });

TEST_F(SerialFailures, AServerThatNeverAnswersTheNegotiationEndsTheRunWithinTheLimitAndASecond) {
  int port = 0;
  const int listener = silent_listener(port);
  const std::string port_text = "rfc2217://127.0.0.1:" + std::to_string(port);
  program.write_settings("COM" + port_text + "\r\n");
  const ProgramRun run = quietly(program, {});
  ::close(listener);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: Serial port " + port_text +
                                 " could not be opened (timed out; a raw TCP port is written COMtcp://...)\n");
  EXPECT_GE(run.seconds, 2.0);
  EXPECT_LT(run.seconds, 3.0);
}

// Whatever a server sends reaches the terminal only as symbols, and a server that talks
// nonsense and hangs up has not taken the commands.
TEST_F(SerialFailures, AServerThatSendsJunkIsShownAsSymbolsAndFailsTheRun) {
  int port = 0;
  const int listener = silent_listener(port);
  std::thread server([listener] {
    const int client = accept_within(listener, 5000);
    if (client < 0) return;
    const char junk[] = "\xFF\xFB\x01\xFF\xFA\x2C\x65\x00\x00\x00\x00\x00\x00\xFF\xF0\x1B[2J\aIn use\xFF\xFD";
    ::send(client, junk, sizeof junk - 1, MSG_NOSIGNAL);
    ::close(client);
  });
  const std::string port_text = "rfc2217://127.0.0.1:" + std::to_string(port);
  program.write_settings("COM" + port_text + "\r\n");
  const ProgramRun run = quietly(program, {});
  server.join();
  ::close(listener);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: Serial port " + port_text +
                                 " could not be opened (in use by another client: \"\xE2\x90\x9B[2J\xE2\x90\x87In use\")\n");
  EXPECT_LT(run.seconds, 3.0);
}

// An RFC 2217 server that asks for the option as ser2net does, answers every request
// with the value asked for, but keeps its line at 9600 baud; `heard` gets every byte the
// client sent. `answer` sees each request (its command and first value byte) first and
// may leave it unanswered.
std::thread answering_server(int listener, std::string& heard, std::function<bool(char, char)> answer_it = {}) {
  return std::thread([listener, &heard, answer_it = std::move(answer_it)] {
    const int client = accept_within(listener, 5000);
    if (client < 0) return;
    ::send(client, "\xFF\xFD\x2C", 3, MSG_NOSIGNAL);
    char buffer[512];
    std::size_t answered_up_to = 0;
    pollfd wait{client, POLLIN, 0};
    while (::poll(&wait, 1, 3000) > 0) {
      const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      heard.append(buffer, static_cast<std::size_t>(got));
      // Each IAC SB 44 command ... IAC SE is answered with the command plus 100 and the
      // value asked for, but a rate is always answered 9600.
      for (std::size_t at = heard.find("\xFF\xFA\x2C", answered_up_to); at != std::string::npos;
           at = heard.find("\xFF\xFA\x2C", answered_up_to)) {
        const std::size_t end = heard.find("\xFF\xF0", at);
        if (end == std::string::npos) break;
        std::string answer = heard.substr(at, end + 2 - at);
        answer[3] = static_cast<char>(answer[3] + 100);
        if (answer[3] == 101) answer = std::string("\xFF\xFA\x2C\x65\x00\x00\x25\x80\xFF\xF0", 10);
        answered_up_to = end + 2;
        if (answer_it && !answer_it(heard[at + 3], heard[at + 4])) continue;
        ::send(client, answer.data(), answer.size(), MSG_NOSIGNAL);
      }
    }
    ::close(client);
  });
}

// A link-local address is reached through the interface its zone names: here the loopback
// of a network of the test's own.
TEST_F(SerialFailures, ALinkLocalAddressIsReachedThroughTheInterfaceItNames) {
  if (geteuid() != 0) GTEST_SKIP() << "a network of the test's own needs root";
  const PrivateNetwork network;
  ASSERT_TRUE(network.entered());
  ASSERT_TRUE(add_loopback_address("fe80::1"));
  int port = 0;
  const int listener = silent_listener(port, "fe80::1%lo");
  std::string heard;
  std::thread server = answering_server(listener, heard);
  const std::string port_text = "rfc2217://[fe80::1%lo]:" + std::to_string(port);
  program.write_settings("COM" + port_text + "\r\n");
  const ProgramRun run = quietly(program, {"7.05"});
  // Wakes a server still waiting for a client, should the run never have connected.
  ::shutdown(listener, SHUT_RDWR);
  server.join();
  ::close(listener);
  EXPECT_EQ(run.exit_code, 0) << run.stderr_file;
  EXPECT_NE(heard.find("LP1;TT0;FA00007050000;"), std::string::npos);
}

TEST_F(SerialFailures, ARateTheServerDoesNotTakeIsARefusedLineSetting) {
  int port = 0;
  const int listener = silent_listener(port);
  std::string heard;
  std::thread server = answering_server(listener, heard);
  const std::string port_text = "rfc2217://127.0.0.1:" + std::to_string(port);
  program.write_settings("COM" + port_text + "\r\nBAUD 19200\r\n");
  const ProgramRun run = quietly(program, {});
  ::close(listener);
  server.join();
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file,
            "vornset: Serial port " + port_text +
                " refused the line settings (baud rate 19200 not supported)\n");
  // A rate the server answered with another one leaves the remote line unknown: nothing goes out.
  EXPECT_EQ(heard.find("LP1;"), std::string::npos);
  EXPECT_LT(run.seconds, 3.0);
}

// A server that takes the connection and then never acknowledges a byte (its packets are
// dropped, in a network of the test's own): the run cannot know the commands were taken,
// says so within the limit and a second, and resets the connection, so that no command it
// gave up on is sent later by a connection the system would keep trying.
TEST_F(SerialFailures, AServerThatNeverTakesTheCommandsEndsTheRunWithinTheLimitAndASecond) {
  if (geteuid() != 0) GTEST_SKIP() << "a network of the test's own needs root";
  for (const std::string scheme : {"rfc2217", "tcp"}) {
    const PrivateNetwork network;
    ASSERT_TRUE(network.entered());
    int port = 0;
    const int listener = silent_listener(port);
    std::string heard;
    std::atomic<bool> dropping{false};
    int raw_client = -1;
    int back_at_one_stop_bit = 0;
    // RFC 2217: held once the line is set (8N1 the second time: through two stop bits and
    // back); raw TCP sends the commands once the open's wait for a refusal is over.
    std::thread server = scheme == "tcp" ? std::thread([&] {
      raw_client = accept_within(listener, 5000);
      dropping = drop_packets_to(port);
    }) : answering_server(listener, heard, [&](char command, char value) {
      if (command == 4 && value == 1 && ++back_at_one_stop_bit == 2) dropping = drop_packets_to(port);
      return true;
    });
    const std::string port_text = scheme + "://127.0.0.1:" + std::to_string(port);
    program.write_settings("COM" + port_text + "\r\n");
    const ProgramRun run = quietly(program, {"7.05"});
    const int left_behind = client_connections_to(port);
    server.join();
    ::close(raw_client);
    ::close(listener);
    ASSERT_TRUE(dropping) << "tc could not drop the packets";
    EXPECT_EQ(run.exit_code, 1) << scheme;
    EXPECT_EQ(run.stderr_file, "vornset: Serial port " + port_text + " did not take all commands (timed out)\n");
    EXPECT_GE(run.seconds, 2.0) << scheme;
    EXPECT_LT(run.seconds, 3.0) << scheme;
    EXPECT_EQ(left_behind, 0) << scheme << ": the run's connection was left to send its bytes later";
    EXPECT_EQ(heard.find("LP1;"), std::string::npos) << scheme;
  }
}

// A server that stops answering in the middle of the line settings has the run's time
// spent and leaves the line unknown: no success, and no command follows out, late.
TEST_F(SerialFailures, AServerThatStopsAnsweringTheLineSettingsGetsNoCommand) {
  int port = 0;
  const int listener = silent_listener(port);
  std::string heard;
  // SET-STOPSIZE 2: the step through two stop bits.
  std::thread server =
      answering_server(listener, heard, [](char command, char value) { return !(command == 4 && value == 2); });
  const std::string port_text = "rfc2217://127.0.0.1:" + std::to_string(port);
  program.write_settings("COM" + port_text + "\r\n");
  const ProgramRun run = quietly(program, {"7.05"});
  server.join();
  ::close(listener);
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: Serial port " + port_text + " refused the line settings (timed out)\n");
  EXPECT_EQ(heard.find("LP1;"), std::string::npos) << "commands went out after the run's time was spent";
  EXPECT_LT(run.seconds, 3.0);
}

// A name that resolves nowhere; in a network of the test's own the resolver's question
// cannot leave the machine.
TEST_F(SerialFailures, ANetworkPortOnANameThatResolvesNowhereIsNoSuchHost) {
  if (geteuid() != 0) GTEST_SKIP() << "a network of the test's own needs root";
  const PrivateNetwork network;
  ASSERT_TRUE(network.entered());
  const std::string port_text = "rfc2217://no-such-host.invalid:4000";
  program.write_settings("COM" + port_text + "\r\n");
  const ProgramRun run = quietly(program, {});
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_EQ(run.stderr_file, "vornset: Serial port " + port_text + " could not be opened (no such host)\n");
  EXPECT_LT(run.seconds, 3.0);
}

// DTR and RTS of the remote line are asked for with SET-CONTROL (DTR off 9, RTS on 11)
// before any command goes out.
TEST_F(SerialFailures, ModemLinesOfANetworkPortAreAskedOfTheServerBeforeTheCommands) {
  int port = 0;
  const int listener = silent_listener(port);
  std::string heard;
  std::thread server = answering_server(listener, heard);
  const std::string port_text = "rfc2217://127.0.0.1:" + std::to_string(port);
  program.write_settings("COM" + port_text + "\r\nDTR OFF\r\nRTS ON\r\n");
  const ProgramRun run = quietly(program, {});
  ::close(listener);
  server.join();
  EXPECT_EQ(run.exit_code, 0) << run.stderr_file;
  const std::size_t dtr = heard.find(std::string("\xFF\xFA\x2C\x05\x09\xFF\xF0", 7));
  const std::size_t rts = heard.find(std::string("\xFF\xFA\x2C\x05\x0B\xFF\xF0", 7));
  const std::size_t commands = heard.find("LP1;TT0;");
  EXPECT_NE(commands, std::string::npos);
  EXPECT_LT(dtr, commands);
  EXPECT_LT(rts, commands);
}

// Raw TCP carries only bytes; ser2net on a pseudo-terminal cannot set the lines and leaves
// the request unanswered. Either way the run sends nothing.
TEST_F(SerialFailures, ModemLinesANetworkPortCannotSetSendNothing) {
  for (const auto& [scheme, reason] : {std::pair{"tcp", "no modem lines on a raw TCP port"},
                                       std::pair{"rfc2217", "the server did not answer the DTR/RTS request"}}) {
    // A server of its own for each row: ser2net lets go of the line only a moment after
    // its client has gone.
    const DeviceServer server{line.device_path()};
    const bool raw = std::string_view(scheme) == "tcp";
    const std::string port_text = std::string(scheme) + "://127.0.0.1:" +
                                  std::to_string(raw ? server.raw_port() : server.rfc2217_port());
    program.write_settings("COM" + port_text + "\r\nDTR OFF\r\n");
    const ProgramRun run = quietly(program, {"7.05"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.stderr_file,
              "vornset: Serial port " + port_text + " refused the line settings (" + reason + ")\n");
    EXPECT_LT(run.seconds, 3.0);
  }
  EXPECT_EQ(line.received(), "");
}

// A port that does not take RFC 2217, written rfc2217://: a telnet port refuses the option
// at once; a raw port stays silent and its line gets the 3 bytes of the offer, no more.
TEST_F(SerialFailures, ARfc2217PortOnAServerWithoutItSaysToWriteTcp) {
  struct Row {
    bool raw;
    const char* reason;
    const char* line_gets;
    double within_seconds;
  };
  for (const Row& row : {Row{false, "the server does not take RFC 2217", "", 0.5},
                         Row{true, "timed out", "\xFF\xFB\x2C", 3.0}}) {
    const DeviceServer server{line.device_path()};
    const std::string port_text =
        "rfc2217://127.0.0.1:" + std::to_string(row.raw ? server.raw_port() : server.telnet_port());
    program.write_settings("COM" + port_text + "\r\n");
    const ProgramRun run = quietly(program, {"7.05"});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.stderr_file, "vornset: Serial port " + port_text + " could not be opened (" + row.reason +
                                   "; a raw TCP port is written COMtcp://...)\n");
    EXPECT_LT(run.seconds, row.within_seconds);
    EXPECT_EQ(line.received(), row.line_gets);
  }
}

}  // namespace
}  // namespace vornset::testing_support
