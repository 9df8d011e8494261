// Winsock before windows.h, which would otherwise bring the old winsock.h along.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <string>

#include "network/socket_calls.h"

namespace vornset {

namespace {

CallOutcome failure(int code) {
  return {static_cast<std::uint32_t>(code), error_number_for_windows_code(static_cast<std::uint32_t>(code))};
}

SOCKET socket_of(SocketHandle handle) { return static_cast<SOCKET>(handle); }

timeval time_left(Deadline deadline) {
  const auto left = std::chrono::ceil<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now()).count();
  const long long micro = left <= 0 ? 0 : (left > 60'000'000 ? 60'000'000 : left);
  return {static_cast<long>(micro / 1'000'000), static_cast<long>(micro % 1'000'000)};
}

// Waits until the socket can be written (or its connection failed) or read: 1 ready, 0
// timed out, -1 failed.
int wait_for(SOCKET socket, bool for_writing, Deadline deadline) {
  fd_set ready;
  fd_set failed;
  FD_ZERO(&ready);
  FD_ZERO(&failed);
  FD_SET(socket, &ready);
  FD_SET(socket, &failed);
  timeval left = time_left(deadline);
  const int result = ::select(0, for_writing ? nullptr : &ready, for_writing ? &ready : nullptr, &failed, &left);
  return result == SOCKET_ERROR ? -1 : (result > 0 ? 1 : 0);
}

bool started() {
  static const bool ready = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

// Enough for any host's addresses: beyond ten or so, the attempt delay has spent the
// run's time before the next one would start.
constexpr std::size_t max_candidates = 16;

bool link_local_without_zone(const addrinfo& candidate) {
  if (candidate.ai_family != AF_INET6) return false;
  const auto* v6 = reinterpret_cast<const sockaddr_in6*>(candidate.ai_addr);
  return v6->sin6_addr.s6_addr[0] == 0xfe && (v6->sin6_addr.s6_addr[1] & 0xc0) == 0x80 && v6->sin6_scope_id == 0;
}

// Starts connecting to one address; `socket` is INVALID_SOCKET when the attempt failed at
// once, and `connected` true when it succeeded at once.
CallOutcome start_attempt(const addrinfo& candidate, SOCKET& socket, bool& connected) {
  connected = false;
  socket = ::socket(candidate.ai_family, candidate.ai_socktype, candidate.ai_protocol);
  if (socket == INVALID_SOCKET) {
    // A system without IPv6 has no route to an IPv6 address.
    const int error = ::WSAGetLastError();
    return failure(error == WSAEAFNOSUPPORT ? WSAENETUNREACH : error);
  }
  u_long non_blocking = 1;
  int error = 0;
  if (::ioctlsocket(socket, static_cast<long>(FIONBIO), &non_blocking) != 0) {
    error = ::WSAGetLastError();
  } else if (::connect(socket, candidate.ai_addr, static_cast<int>(candidate.ai_addrlen)) == 0) {
    connected = true;
    return {};
  } else {
    error = ::WSAGetLastError();
    if (error == WSAEWOULDBLOCK) return {};
  }
  ::closesocket(socket);
  socket = INVALID_SOCKET;
  // The system cannot tell which link such an address is on.
  if ((error == WSAEINVAL || error == WSAEADDRNOTAVAIL) && link_local_without_zone(candidate)) {
    return {no_zone_code, error_number::device_io_error};
  }
  return failure(error);
}

// Which of two failures tells the user more: a host that refused was reached, an
// unreachable one was not, and an address the user must change says most.
int weight(const CallOutcome& outcome) {
  switch (outcome.system_code) {
    case no_zone_code: return 3;
    case WSAECONNREFUSED: return 2;
    case WSAEHOSTUNREACH: case WSAENETUNREACH: case WSAEAFNOSUPPORT: case WSAEADDRNOTAVAIL: return 0;
    default: return 1;
  }
}

// Every address in turn, each given the attempt delay alone before the next one starts
// beside it (at once when it has failed); the first connection is kept and every other
// attempt closed. An address that does not answer can so never hold back one that does.
CallOutcome connect_first_answering(const addrinfo* candidates, Deadline deadline, SOCKET& connected_socket) {
  connected_socket = INVALID_SOCKET;
  SOCKET attempts[max_candidates];
  std::size_t running = 0;
  CallOutcome told = failure(WSAEHOSTUNREACH);
  bool failed_once = false;
  const auto tell = [&](const CallOutcome& outcome) {
    if (!failed_once || weight(outcome) >= weight(told)) told = outcome;
    failed_once = true;
  };
  const auto close_all = [&] {
    for (std::size_t index = 0; index < running; ++index) ::closesocket(attempts[index]);
  };
  const auto keep = [&](SOCKET socket) {
    for (std::size_t index = 0; index < running; ++index) {
      if (attempts[index] != socket) ::closesocket(attempts[index]);
    }
    connected_socket = socket;
    // Commands are short and each one should leave at once.
    const BOOL on = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
    return CallOutcome{};
  };
  const addrinfo* next = candidates;
  std::size_t started_count = 0;
  Deadline next_start = std::chrono::steady_clock::now();
  for (;;) {
    const Deadline now = std::chrono::steady_clock::now();
    const bool more = next != nullptr && started_count < max_candidates;
    if (more && (running == 0 || now >= next_start) && now < deadline) {
      SOCKET socket = INVALID_SOCKET;
      bool connected = false;
      const CallOutcome started = start_attempt(*next, socket, connected);
      next = next->ai_next;
      ++started_count;
      if (started.failed()) {
        tell(started);
        continue;
      }
      attempts[running++] = socket;
      if (connected) return keep(socket);
      next_start = now + connection_attempt_delay;
      continue;
    }
    if (running == 0) return failed_once ? told : failure(WSAETIMEDOUT);
    if (now >= deadline) {
      close_all();
      return failure(WSAETIMEDOUT);
    }
    // A connection shows as writable, a failed one in the exceptions.
    fd_set connected;
    fd_set failed;
    FD_ZERO(&connected);
    FD_ZERO(&failed);
    for (std::size_t index = 0; index < running; ++index) {
      FD_SET(attempts[index], &connected);
      FD_SET(attempts[index], &failed);
    }
    timeval left = time_left(more ? std::min(next_start, deadline) : deadline);
    if (::select(0, nullptr, &connected, &failed, &left) == SOCKET_ERROR) {
      const int error = ::WSAGetLastError();
      close_all();
      return failure(error);
    }
    for (std::size_t index = 0; index < running;) {
      const SOCKET socket = attempts[index];
      if (FD_ISSET(socket, &connected)) return keep(socket);
      if (!FD_ISSET(socket, &failed)) {
        ++index;
        continue;
      }
      int error = 0;
      int size = sizeof error;
      if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &size) != 0) {
        error = ::WSAGetLastError();
      }
      tell(failure(error == 0 ? WSAECONNREFUSED : error));
      ::closesocket(socket);
      attempts[index] = attempts[--running];
    }
  }
}

}  // namespace

CallOutcome connect_socket(const NetworkAddress& address, Deadline deadline, SocketHandle& handle) {
  handle = no_socket;
  if (!started()) return failure(WSASYSNOTREADY);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  hints.ai_flags = AI_NUMERICSERV;
  std::string host = address.host;
  if (!address.zone.empty()) {
    // Windows numbers its interfaces ('ipconfig' shows fe80::1%12); the resolver takes the
    // number behind the address.
    const bool numbered = address.zone.size() < 10 &&
                          address.zone.find_first_not_of("0123456789") == std::string::npos;
    if (!numbered) return {no_such_interface_code, error_number::device_io_error};
    host += '%';
    host += address.zone;
    hints.ai_flags |= AI_NUMERICHOST;
  }
  addrinfo* found = nullptr;
  const int looked_up = ::getaddrinfo(host.c_str(), address.service.c_str(), &hints, &found);
  if (looked_up != 0) {
    if (looked_up == WSATRY_AGAIN) return failure(WSAETIMEDOUT);
    return {address.zone.empty() ? no_such_host_code : no_such_interface_code, error_number::device_io_error};
  }
  SOCKET socket = INVALID_SOCKET;
  const CallOutcome outcome = connect_first_answering(found, deadline, socket);
  ::freeaddrinfo(found);
  if (!outcome.failed()) handle = static_cast<SocketHandle>(socket);
  return outcome;
}

CallOutcome send_bytes(SocketHandle handle, std::string_view bytes, Deadline deadline, std::size_t& sent) {
  sent = 0;
  const SOCKET socket = socket_of(handle);
  while (sent < bytes.size()) {
    const int result = ::send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (result != SOCKET_ERROR) {
      sent += static_cast<std::size_t>(result);
      continue;
    }
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) return failure(error);
    const int ready = wait_for(socket, true, deadline);
    if (ready == 0) return failure(WSAETIMEDOUT);
    if (ready < 0) return failure(::WSAGetLastError());
  }
  return {};
}

CallOutcome receive_bytes(SocketHandle handle, std::span<std::uint8_t> buffer, Deadline deadline,
                          std::size_t& received) {
  received = 0;
  const SOCKET socket = socket_of(handle);
  for (;;) {
    const int result = ::recv(socket, reinterpret_cast<char*>(buffer.data()), static_cast<int>(buffer.size()), 0);
    if (result != SOCKET_ERROR) {
      received = static_cast<std::size_t>(result);
      return {};
    }
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) return failure(error);
    const int ready = wait_for(socket, false, deadline);
    if (ready == 0) return failure(WSAETIMEDOUT);
    if (ready < 0) return failure(::WSAGetLastError());
  }
}

// Winsock does not tell what the peer has acknowledged (only newer Windows has a query of
// its own for it): the bytes count as handed to the system's TCP.
CallOutcome unacknowledged_bytes(SocketHandle, std::size_t& count, bool& known) {
  count = 0;
  known = false;
  return {};
}

void close_socket(SocketHandle handle, bool discard) {
  const SOCKET socket = socket_of(handle);
  if (discard) {
    const linger reset{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  }
  ::closesocket(socket);
}

}  // namespace vornset
