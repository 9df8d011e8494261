#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "frame/guarded_call.h"
#include "network/network_address.h"

namespace vornset {

// Every wait of the network port ends at one point in time, so that the lookup, the
// connection, the negotiation, the sends and the wait for "sent" together keep one limit.
using Deadline = std::chrono::steady_clock::time_point;

// A socket descriptor on POSIX, a SOCKET on Windows; -1 for none.
using SocketHandle = std::intptr_t;
inline constexpr SocketHandle no_socket = -1;

// The thin layer of system calls under the network port; each outcome carries the
// system's code. A code for a name the resolver does not know, so the port can say so.
inline constexpr std::uint32_t no_such_host_code = 0x7fff0001;
// A name cannot be looked up at all (on Linux: no getent).
inline constexpr std::uint32_t no_lookup_code = 0x7fff0002;

// Looks the address up and connects to the first of its addresses that answers, without
// waiting past the deadline (on Windows the system's resolver itself cannot be bounded).
CallOutcome connect_socket(const NetworkAddress& address, Deadline deadline, SocketHandle& handle);
// Sends all of `bytes`, waiting for room until the deadline; `sent` says how many went.
CallOutcome send_bytes(SocketHandle handle, std::string_view bytes, Deadline deadline, std::size_t& sent);
// Receives what has arrived, waiting for something until the deadline (not at all when it
// has passed). `received` 0 without a failure: the peer closed the connection.
CallOutcome receive_bytes(SocketHandle handle, std::span<std::uint8_t> buffer, Deadline deadline,
                          std::size_t& received);
// How many sent bytes the peer's TCP has not yet acknowledged, where the system tells;
// `known` false where it does not.
CallOutcome unacknowledged_bytes(SocketHandle handle, std::size_t& count, bool& known);
// Closes the socket; with `discard`, what is still unsent is thrown away (a reset), so
// nothing goes out after the run has said it failed.
void close_socket(SocketHandle handle, bool discard);

}  // namespace vornset
