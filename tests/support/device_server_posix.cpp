#include "tests/support/device_server_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
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

int silent_listener(int& port) {
  const int fd = bound_socket(port);
  if (::listen(fd, 4) != 0) throw std::runtime_error("no listener");
  return fd;
}

int connect_loopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = loopback(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

DeviceServer::DeviceServer(const std::string& device_path) {
  rfc2217_port_ = unused_loopback_port();
  raw_port_ = unused_loopback_port();
  const std::string config = directory_.write_file(
      "ser2net.yaml", "%YAML 1.1\n---\nconnection: &rfc2217\n  accepter: telnet(rfc2217),tcp,127.0.0.1," +
                          std::to_string(rfc2217_port_) + "\n  connector: serialdev," + device_path +
                          ",9600n81,local\nconnection: &raw\n  accepter: tcp,127.0.0.1," +
                          std::to_string(raw_port_) + "\n  connector: serialdev," + device_path + ",9600n81,local\n");
  const std::string pid_file = directory_.file("ser2net.pid");
  pid_ = ::fork();
  if (pid_ == 0) {
    // Its complaints (no mDNS here) are no part of any test's output.
    const int quiet = ::open("/dev/null", O_WRONLY);
    ::dup2(quiet, STDOUT_FILENO);
    ::dup2(quiet, STDERR_FILENO);
    ::execlp("ser2net", "ser2net", "-n", "-c", config.c_str(), "-P", pid_file.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Ready once both ports are taken. A probe that connected would start a session of the
  // server's, and its end would still be under way when the test's own client came.
  for (int look = 0; look < 300 && !(port_taken(rfc2217_port_) && port_taken(raw_port_)); ++look) {
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
