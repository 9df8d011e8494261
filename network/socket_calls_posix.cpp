#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

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

CallOutcome connect_one(const addrinfo& candidate, Deadline deadline, int& fd) {
  fd = ::socket(candidate.ai_family, candidate.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, candidate.ai_protocol);
  if (fd == -1) return failure(errno);
  if (::connect(fd, candidate.ai_addr, candidate.ai_addrlen) != 0) {
    if (errno != EINPROGRESS) return failure(errno);
    const int ready = wait_for(fd, POLLOUT, deadline);
    if (ready == 0) return failure(ETIMEDOUT);
    if (ready < 0) return failure(errno);
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) return failure(errno);
    if (error != 0) return failure(error);
  }
  // Commands are short and each one should leave at once.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  return {};
}

}  // namespace

CallOutcome connect_socket(const NetworkAddress& address, Deadline deadline, SocketHandle& handle) {
  handle = no_socket;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
  addrinfo* found = nullptr;
  const int looked_up = ::getaddrinfo(address.host.c_str(), address.service.c_str(), &hints, &found);
  if (looked_up != 0) {
    if (looked_up == EAI_SYSTEM) return failure(errno);
    if (looked_up == EAI_AGAIN) return failure(ETIMEDOUT);
    return {no_such_host_code, error_number::device_io_error};
  }
  CallOutcome outcome = failure(EHOSTUNREACH);
  for (const addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
    int fd = -1;
    outcome = connect_one(*candidate, deadline, fd);
    if (!outcome.failed()) {
      handle = fd;
      break;
    }
    if (fd != -1) ::close(fd);
    if (outcome.system_code == ETIMEDOUT) break;  // the time is spent: no other address gets any
  }
  ::freeaddrinfo(found);
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
