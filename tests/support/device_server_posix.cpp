#include "tests/support/device_server_posix.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <stdexcept>

namespace vornset::testing_support {

namespace {

sockaddr_in loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

int bound_socket(int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback(0);
  socklen_t size = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
    throw std::runtime_error("no loopback port");
  }
  port = ntohs(address.sin_port);
  return fd;
}

bool port_taken(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = loopback(port);
  const bool taken = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0;
  ::close(fd);
  return taken;
}

}  // namespace

int unused_loopback_port() {
  int port = 0;
  ::close(bound_socket(port));
  return port;
}

int silent_listener(int& port, const std::string& ipv6) {
  int fd = -1;
  if (ipv6.empty()) {
    fd = bound_socket(port);
  } else {
    const std::size_t percent = ipv6.find('%');
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_scope_id = percent == std::string::npos ? 0 : ::if_nametoindex(ipv6.substr(percent + 1).c_str());
    socklen_t size = sizeof address;
    fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0 || ::inet_pton(AF_INET6, ipv6.substr(0, percent).c_str(), &address.sin6_addr) != 1 ||
        ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      throw std::runtime_error("no IPv6 port");
    }
    port = ntohs(address.sin6_port);
  }
  if (::listen(fd, 4) != 0) throw std::runtime_error("no listener");
  return fd;
}

int accept_within(int listener, int milliseconds) {
  pollfd waiting{listener, POLLIN, 0};
  if (::poll(&waiting, 1, milliseconds) <= 0) return -1;
  return ::accept(listener, nullptr, nullptr);
}

int full_ipv6_listener(int port, std::vector<int>& held) {
  const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int on = 1;
  sockaddr_in6 address{};
  address.sin6_family = AF_INET6;
  address.sin6_port = htons(static_cast<std::uint16_t>(port));
  address.sin6_addr = in6addr_loopback;
  if (fd < 0 || ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 0) != 0) {
    throw std::runtime_error("no IPv6 listener on port " + std::to_string(port));
  }
  // A queue of length 0 takes one connection; two more make sure of it. The system drops
  // each attempt after them without an answer.
  for (int filled = 0; filled < 3; ++filled) {
    const int client = ::socket(AF_INET6, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    held.push_back(client);
    if (::connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS) {
      throw std::runtime_error("no connection to fill the queue");
    }
  }
  const timespec settle{0, 50'000'000};
  ::nanosleep(&settle, nullptr);
  return fd;
}

bool add_loopback_address(const std::string& ipv6) {
  const std::string command = "ip addr add " + ipv6 + "/64 dev lo nodad >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

int connect_loopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = loopback(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

PrivateNetwork::PrivateNetwork() {
  machine_network_ = ::open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
  if (machine_network_ < 0 || ::unshare(CLONE_NEWNET) != 0) return;
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  ifreq request{};
  std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
  bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0;
  request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP);
  up = up && ::ioctl(fd, SIOCSIFFLAGS, &request) == 0;
  if (fd >= 0) ::close(fd);
  entered_ = true;
  if (!up) leave();
}

void PrivateNetwork::leave() {
  if (entered_ && ::setns(machine_network_, CLONE_NEWNET) != 0) std::abort();  // later tests would run in it
  entered_ = false;
}

PrivateNetwork::~PrivateNetwork() {
  leave();
  if (machine_network_ >= 0) ::close(machine_network_);
}

bool drop_packets_to(int port) {
  // The kernel here may lack netem and the drop action; a class whose queue holds nothing
  // drops all the same, and iproute2's tc is all it takes.
  const std::string command =
      "{ tc qdisc add dev lo root handle 1: htb default 1 && "
      "tc class add dev lo parent 1: classid 1:1 htb rate 10gbit && "
      "tc class add dev lo parent 1: classid 1:2 htb rate 10gbit && "
      "tc qdisc add dev lo parent 1:2 pfifo limit 0 && "
      "tc filter add dev lo parent 1: protocol ip u32 match ip dport " +
      std::to_string(port) + " 0xffff flowid 1:2; } >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

int client_connections_to(int port) {
  // Lines of "sl local_address rem_address st ...", addresses as hex "ADDRESS:PORT".
  std::FILE* table = std::fopen("/proc/thread-self/net/tcp", "r");
  if (table == nullptr) return -1;
  int count = 0;
  char line[512];
  while (std::fgets(line, sizeof line, table) != nullptr) {
    unsigned remote_port = 0;
    if (std::sscanf(line, " %*s %*s %*[0-9A-Fa-f]:%x", &remote_port) == 1 && static_cast<int>(remote_port) == port) {
      ++count;
    }
  }
  std::fclose(table);
  return count;
}

// python3-serial's RFC 2217 server as its redirector example runs it, one client at a
// time; a pseudo-terminal has no modem lines for it to report.
constexpr const char* python_rfc2217_server = R"(import socket, sys, serial, serial.rfc2217
class Port(serial.Serial):
    cts = dsr = ri = cd = property(lambda self: False)
port = Port(sys.argv[1], 9600, timeout=0.05)
listener = socket.socket()
listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
listener.bind(('127.0.0.1', int(sys.argv[2])))
listener.listen(1)
class Connection:
    def __init__(self, client): self.client = client
    def write(self, data): self.client.sendall(data)
while True:
    client, _ = listener.accept()
    manager = serial.rfc2217.PortManager(port, Connection(client))
    while True:
        data = client.recv(1024)
        if not data: break
        port.write(b''.join(manager.filter(data)))
    client.close()
)";

DeviceServer::DeviceServer(const std::string& device_path, ServerProgram program) {
  rfc2217_port_ = unused_loopback_port();
  raw_port_ = unused_loopback_port();
  telnet_port_ = unused_loopback_port();
  const std::string connector = "\n  connector: serialdev," + device_path + ",9600n81,local\n";
  const std::string config = directory_.write_file(
      "ser2net.yaml", "%YAML 1.1\n---\nconnection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                          std::to_string(rfc2217_port_) + connector + "connection: &raw\n  accepter: tcp,127.0.0.1," +
                          std::to_string(raw_port_) + connector + "connection: &telnet\n  accepter: telnet,tcp,127.0.0.1," +
                          std::to_string(telnet_port_) + connector);
  const std::string script = directory_.write_file("rfc2217_server.py", python_rfc2217_server);
  const std::string pid_file = directory_.file("ser2net.pid");
  const std::string port = std::to_string(rfc2217_port_);
  pid_ = ::fork();
  if (pid_ == 0) {
    // Its complaints (no mDNS here) are no part of any test's output.
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, STDOUT_FILENO);
    ::dup2(quiet, STDERR_FILENO);
    if (program == ServerProgram::python3_serial) {
      // Debian's python3-serial belongs to the system's python3.
      ::execl("/usr/bin/python3", "python3", script.c_str(), device_path.c_str(), port.c_str(), static_cast<char*>(nullptr));
    } else {
      ::execlp("ser2net", "ser2net", "-n", "-c", config.c_str(), "-P", pid_file.c_str(), static_cast<char*>(nullptr));
    }
    ::_exit(127);
  }
  // Ready once its ports are taken. A probe that connected would start a session of the
  // server's, and its end would still be under way when the test's own client came.
  const auto ready = [&] {
    return port_taken(rfc2217_port_) &&
           (program == ServerProgram::python3_serial || (port_taken(raw_port_) && port_taken(telnet_port_)));
  };
  for (int look = 0; look < 300 && !ready(); ++look) {
    const timespec pause{0, 10'000'000};
    ::nanosleep(&pause, nullptr);
  }
}

DeviceServer::~DeviceServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

}  // namespace vornset::testing_support
