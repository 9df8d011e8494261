#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#ifdef __linux__
#include <linux/sockios.h>
#endif

#include "network/socket_calls.h"

namespace vornset {

namespace {

CallOutcome failure(int err) { return {static_cast<std::uint32_t>(err), error_number_for_errno(err)}; }

int fd_of(SocketHandle handle) { return static_cast<int>(handle); }

int milliseconds_left(Deadline deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  if (left <= 0) return 0;
  return left > 60'000 ? 60'000 : static_cast<int>(left);
}

// Waits for `events` until the deadline: 1 ready, 0 timed out, -1 failed (errno set).
int wait_for(int fd, short events, Deadline deadline) {
  for (;;) {
    pollfd entry{fd, events, 0};
    const int ready = ::poll(&entry, 1, milliseconds_left(deadline));
    if (ready >= 0) return ready;
    if (errno != EINTR) return -1;
  }
}

// One address of the host, as connect takes it.
struct Candidate {
  sockaddr_storage address{};
  socklen_t size = 0;
};
// Enough for any host's addresses: beyond ten or so, the attempt delay has spent the
// run's time before the next one would start.
constexpr std::size_t max_candidates = 16;

bool numeric_address(const std::string& text, std::uint16_t port, Candidate& candidate) {
  auto* v4 = reinterpret_cast<sockaddr_in*>(&candidate.address);
  if (::inet_pton(AF_INET, text.c_str(), &v4->sin_addr) == 1) {
    v4->sin_family = AF_INET;
    v4->sin_port = htons(port);
    candidate.size = sizeof(sockaddr_in);
    return true;
  }
  auto* v6 = reinterpret_cast<sockaddr_in6*>(&candidate.address);
  if (::inet_pton(AF_INET6, text.c_str(), &v6->sin6_addr) == 1) {
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(port);
    candidate.size = sizeof(sockaddr_in6);
    return true;
  }
  return false;
}

// The interface a zone names: its name, or its number as the system counts them; 0 for
// none of this machine's.
unsigned interface_index(const std::string& zone) {
  if (std::all_of(zone.begin(), zone.end(), [](char character) { return character >= '0' && character <= '9'; })) {
    char name[IF_NAMESIZE];
    const unsigned long number = zone.size() > 9 ? 0 : std::stoul(zone);
    return number != 0 && ::if_indextoname(static_cast<unsigned>(number), name) != nullptr ? static_cast<unsigned>(number) : 0;
  }
  return ::if_nametoindex(zone.c_str());
}

bool link_local_without_zone(const Candidate& candidate) {
  if (candidate.address.ss_family != AF_INET6) return false;
  const auto& v6 = reinterpret_cast<const sockaddr_in6&>(candidate.address);
  return IN6_IS_ADDR_LINKLOCAL(&v6.sin6_addr) && v6.sin6_scope_id == 0;
}

// A name is looked up by the system's getent, which asks the same sources as the C
// library's resolver (/etc/nsswitch.conf: /etc/hosts, DNS, mDNS), in a process of its own.
// So the lookup keeps the run's deadline (the process is ended when the time is up), and
// the static program carries no resolver of its own, which would cost every run, local
// ones too, memory at start-up.
CallOutcome look_up(const std::string& host, std::uint16_t port, Deadline deadline, Candidate* candidates,
                    std::size_t& count) {
  count = 0;
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return failure(errno);
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  char program[] = "/usr/bin/getent";
  char database[] = "ahosts";
  std::string name = host;
  char* arguments[] = {program, database, name.data(), nullptr};
  char* no_environment[] = {nullptr};
  pid_t child = -1;
  const int spawned = ::posix_spawn(&child, program, &actions, nullptr, arguments, no_environment);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(ends[1]);
  if (spawned != 0) {
    ::close(ends[0]);
    return {no_lookup_code, error_number::device_io_error};
  }
  std::string answer;
  bool timed_out = false;
  for (;;) {
    const int ready = wait_for(ends[0], POLLIN, deadline);
    if (ready <= 0) {
      timed_out = ready == 0;
      break;
    }
    char buffer[512];
    const ssize_t got = ::read(ends[0], buffer, sizeof buffer);
    if (got <= 0) break;
    if (answer.size() < 8192) answer.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(ends[0]);
  if (timed_out) ::kill(child, SIGKILL);
  int status = 0;
  while (::waitpid(child, &status, 0) == -1 && errno == EINTR) {
  }
  if (timed_out) return failure(ETIMEDOUT);
  // Lines of "ADDRESS STREAM name", in the resolver's order of preference: the first word
  // of each STREAM line is an address.
  std::size_t start = 0;
  while (start < answer.size() && count < max_candidates) {
    std::size_t end = answer.find('\n', start);
    if (end == std::string::npos) end = answer.size();
    const std::string line = answer.substr(start, end - start);
    start = end + 1;
    if (line.find(" STREAM") == std::string::npos) continue;
    if (numeric_address(line.substr(0, line.find(' ')), port, candidates[count])) ++count;
  }
  if (count == 0) return {no_such_host_code, error_number::device_io_error};
  return {};
}

// Starts connecting to one address. `fd` is -1 when the attempt failed at once, and
// `connected` true when it succeeded at once.
CallOutcome start_attempt(const Candidate& candidate, int& fd, bool& connected) {
  connected = false;
  fd = ::socket(candidate.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  // A system without IPv6 has no route to an IPv6 address.
  if (fd == -1) return failure(errno == EAFNOSUPPORT ? ENETUNREACH : errno);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&candidate.address), candidate.size) == 0) {
    connected = true;
    return {};
  }
  const int error = errno;
  if (error == EINPROGRESS) return {};
  ::close(fd);
  fd = -1;
  // The system cannot tell which link such an address is on.
  if (error == EINVAL && link_local_without_zone(candidate)) return {no_zone_code, error_number::device_io_error};
  return failure(error);
}

// Which of two failures tells the user more: a host that refused was reached, an
// unreachable one was not, and an address the user must change says most.
int weight(const CallOutcome& outcome) {
  switch (outcome.system_code) {
    case no_zone_code: return 3;
    case ECONNREFUSED: return 2;
    case EHOSTUNREACH: case ENETUNREACH: case EAFNOSUPPORT: case EADDRNOTAVAIL: return 0;
    default: return 1;
  }
}

// Every address in turn, each given the attempt delay alone before the next one starts
// beside it (at once when it has failed); the first connection is kept and every other
// attempt closed. An address that does not answer can so never hold back one that does.
CallOutcome connect_first_answering(const Candidate* candidates, std::size_t count, Deadline deadline, int& connected_fd) {
  connected_fd = -1;
  pollfd attempts[max_candidates];
  std::size_t running = 0;
  std::size_t next = 0;
  CallOutcome told = failure(EHOSTUNREACH);
  bool failed_once = false;
  const auto tell = [&](const CallOutcome& outcome) {
    if (!failed_once || weight(outcome) >= weight(told)) told = outcome;
    failed_once = true;
  };
  const auto keep = [&](int fd) {
    for (std::size_t index = 0; index < running; ++index) {
      if (attempts[index].fd != fd) ::close(attempts[index].fd);
    }
    connected_fd = fd;
    // Commands are short and each one should leave at once.
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return CallOutcome{};
  };
  Deadline next_start = std::chrono::steady_clock::now();
  for (;;) {
    const Deadline now = std::chrono::steady_clock::now();
    if (next < count && (running == 0 || now >= next_start) && now < deadline) {
      int fd = -1;
      bool connected = false;
      const CallOutcome started = start_attempt(candidates[next++], fd, connected);
      if (started.failed()) {
        tell(started);
        continue;
      }
      attempts[running++] = {fd, POLLOUT, 0};
      if (connected) return keep(fd);
      next_start = now + connection_attempt_delay;
      continue;
    }
    if (running == 0) return failed_once ? told : failure(ETIMEDOUT);
    if (now >= deadline) {
      for (std::size_t index = 0; index < running; ++index) ::close(attempts[index].fd);
      return failure(ETIMEDOUT);
    }
    const Deadline until = next < count ? std::min(next_start, deadline) : deadline;
    const int ready = ::poll(attempts, running, milliseconds_left(until));
    if (ready < 0 && errno != EINTR) {
      const int error = errno;
      for (std::size_t index = 0; index < running; ++index) ::close(attempts[index].fd);
      return failure(error);
    }
    for (std::size_t index = 0; ready > 0 && index < running;) {
      if (attempts[index].revents == 0) {
        ++index;
        continue;
      }
      int error = 0;
      socklen_t size = sizeof error;
      if (::getsockopt(attempts[index].fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
      if (error == 0) return keep(attempts[index].fd);
      tell(failure(error));
      ::close(attempts[index].fd);
      attempts[index] = attempts[--running];
    }
  }
}

}  // namespace

CallOutcome connect_socket(const NetworkAddress& address, Deadline deadline, SocketHandle& handle) {
  handle = no_socket;
  const auto port = static_cast<std::uint16_t>(std::stoul(address.service));
  Candidate candidates[max_candidates];
  std::size_t count = 0;
  if (numeric_address(address.host, port, candidates[0])) {
    count = 1;
    if (!address.zone.empty() && candidates[0].address.ss_family == AF_INET6) {
      const unsigned index = interface_index(address.zone);
      if (index == 0) return {no_such_interface_code, error_number::device_io_error};
      reinterpret_cast<sockaddr_in6&>(candidates[0].address).sin6_scope_id = index;
    }
  } else {
    const CallOutcome looked_up = look_up(address.host, port, deadline, candidates, count);
    if (looked_up.failed()) return looked_up;
  }
  int fd = -1;
  const CallOutcome outcome = connect_first_answering(candidates, count, deadline, fd);
  if (!outcome.failed()) handle = fd;
  return outcome;
}

CallOutcome send_bytes(SocketHandle handle, std::string_view bytes, Deadline deadline, std::size_t& sent) {
  sent = 0;
  const int fd = fd_of(handle);
  while (sent < bytes.size()) {
    // MSG_NOSIGNAL: a peer that has gone is a failed send, not the end of the process.
    const ssize_t result = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (result >= 0) {
      sent += static_cast<std::size_t>(result);
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return failure(errno);
    const int ready = wait_for(fd, POLLOUT, deadline);
    if (ready == 0) return failure(ETIMEDOUT);
    if (ready < 0) return failure(errno);
  }
  return {};
}

CallOutcome receive_bytes(SocketHandle handle, std::span<std::uint8_t> buffer, Deadline deadline,
                          std::size_t& received) {
  received = 0;
  const int fd = fd_of(handle);
  for (;;) {
    const ssize_t result = ::recv(fd, buffer.data(), buffer.size(), 0);
    if (result >= 0) {
      received = static_cast<std::size_t>(result);
      return {};
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return failure(errno);
    const int ready = wait_for(fd, POLLIN, deadline);
    if (ready == 0) return failure(ETIMEDOUT);
    if (ready < 0) return failure(errno);
  }
}

CallOutcome unacknowledged_bytes(SocketHandle handle, std::size_t& count, bool& known) {
  count = 0;
  known = false;
#ifdef __linux__
  // SIOCOUTQ counts what the socket holds that the peer has not acknowledged.
  int queued = 0;
  if (::ioctl(fd_of(handle), SIOCOUTQ, &queued) != 0) return failure(errno);
  count = queued > 0 ? static_cast<std::size_t>(queued) : 0;
  known = true;
#else
  (void)handle;
#endif
  return {};
}

void close_socket(SocketHandle handle, bool discard) {
  const int fd = fd_of(handle);
  if (discard) {
    const linger reset{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }
  ::close(fd);
}

}  // namespace vornset
