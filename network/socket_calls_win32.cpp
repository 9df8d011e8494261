// Winsock before windows.h, which would otherwise bring the old winsock.h along.
#include <winsock2.h>
#include <ws2tcpip.h>

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

CallOutcome connect_one(const addrinfo& candidate, Deadline deadline, SOCKET& socket) {
  socket = ::socket(candidate.ai_family, candidate.ai_socktype, candidate.ai_protocol);
  if (socket == INVALID_SOCKET) return failure(::WSAGetLastError());
  u_long non_blocking = 1;
  if (::ioctlsocket(socket, static_cast<long>(FIONBIO), &non_blocking) != 0) return failure(::WSAGetLastError());
  if (::connect(socket, candidate.ai_addr, static_cast<int>(candidate.ai_addrlen)) != 0) {
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) return failure(error);
    const int ready = wait_for(socket, true, deadline);
    if (ready == 0) return failure(WSAETIMEDOUT);
    if (ready < 0) return failure(::WSAGetLastError());
    int socket_error = 0;
    int size = sizeof socket_error;
    if (::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&socket_error), &size) != 0) {
      return failure(::WSAGetLastError());
    }
    if (socket_error != 0) return failure(socket_error);
  }
  const BOOL on = TRUE;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on), sizeof on);
  return {};
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
  addrinfo* found = nullptr;
  const int looked_up = ::getaddrinfo(address.host.c_str(), address.service.c_str(), &hints, &found);
  if (looked_up != 0) {
    if (looked_up == WSATRY_AGAIN) return failure(WSAETIMEDOUT);
    return {no_such_host_code, error_number::device_io_error};
  }
  CallOutcome outcome = failure(WSAEHOSTUNREACH);
  for (const addrinfo* candidate = found; candidate != nullptr; candidate = candidate->ai_next) {
    SOCKET socket = INVALID_SOCKET;
    outcome = connect_one(*candidate, deadline, socket);
    if (!outcome.failed()) {
      handle = static_cast<SocketHandle>(socket);
      break;
    }
    if (socket != INVALID_SOCKET) ::closesocket(socket);
    if (outcome.system_code == WSAETIMEDOUT) break;  // the time is spent
  }
  ::freeaddrinfo(found);
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
