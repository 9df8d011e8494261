#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/support/temp_directory_posix.h"

namespace vornset::testing_support {

// Which program serves the pseudo-terminal.
enum class ServerProgram {
  ser2net,          // RFC 2217, raw TCP and plain telnet ports
  python3_serial,   // python3-serial's RFC 2217 server (serial.rfc2217.PortManager): rfc2217_port only
};

// A device server on the loopback address, in front of a pseudo-terminal: one port
// speaks RFC 2217, another raw TCP, a third telnet without RFC 2217. Started for the test
// and ended with it.
class DeviceServer {
 public:
  explicit DeviceServer(const std::string& device_path, ServerProgram program = ServerProgram::ser2net);
  ~DeviceServer();
  DeviceServer(const DeviceServer&) = delete;
  DeviceServer& operator=(const DeviceServer&) = delete;

  int rfc2217_port() const { return rfc2217_port_; }
  int raw_port() const { return raw_port_; }
  int telnet_port() const { return telnet_port_; }

 private:
  TempDirectory directory_;
  int rfc2217_port_ = 0;
  int raw_port_ = 0;
  int telnet_port_ = 0;
  pid_t pid_ = -1;
};

// A loopback port nothing listens on: a connection to it is refused.
int unused_loopback_port();
// A listening loopback socket that never accepts: the system completes each connection and
// the server never says a word. Returns the descriptor; `port` is its port. `ipv6` puts
// it on that IPv6 address instead ("::1", or "fe80::1%lo" in a private network).
int silent_listener(int& port, const std::string& ipv6 = "");
// The next client of a listening socket, waiting at most `milliseconds`; -1 when none
// came, so that a program that never connects fails its row instead of hanging the suite.
int accept_within(int listener, int milliseconds);
// A listener on [::1]:`port` whose queue of connections is full, so that the system drops
// every further attempt to connect, as a host that has stopped answering does. Returns the
// listener; `held` gets the connections that fill its queue, to close with it.
int full_ipv6_listener(int port, std::vector<int>& held);
// A client connection held to a loopback port, as another program's; -1 when none came.
int connect_loopback(int port);

// Root only: the calling thread, and the threads and programs it then starts, in a network
// of its own with nothing but its loopback, so nothing a test does there leaves the machine.
// Left when the scope ends.
class PrivateNetwork {
 public:
  PrivateNetwork();
  ~PrivateNetwork();
  PrivateNetwork(const PrivateNetwork&) = delete;
  PrivateNetwork& operator=(const PrivateNetwork&) = delete;
  bool entered() const { return entered_; }

 private:
  void leave();

  int machine_network_ = -1;
  bool entered_ = false;
};

// In a private network: every packet to `port` is dropped from now on, as if its host had
// stopped answering (a queue of no room under the loopback). False when it could not be.
bool drop_packets_to(int port);
// In a private network: the loopback also has this IPv6 address ("fe80::1"). False when
// it could not be added.
bool add_loopback_address(const std::string& ipv6);
// In a private network: the client connections to `port` the system still holds.
int client_connections_to(int port);

}  // namespace vornset::testing_support
