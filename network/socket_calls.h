#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
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
// The address's zone names no interface of this machine.
inline constexpr std::uint32_t no_such_interface_code = 0x7fff0003;
// A link-local IPv6 address without its zone: the system cannot tell which link.
inline constexpr std::uint32_t no_zone_code = 0x7fff0004;
// The port text names a network port but no valid address.
inline constexpr std::uint32_t address_mistake_code = 0x7fff0005;

// What the failure line says for one of the codes above; empty for any other code.
std::string connect_refusal_reason(std::string_view port_text, std::uint32_t system_code);

// How long an attempt to connect to one address of a name has alone before the next
// address is tried beside it (RFC 8305's connection attempt delay).
inline constexpr std::chrono::milliseconds connection_attempt_delay{250};

// Looks the address up and connects to the first of its addresses that answers: each in
// the resolver's order, the next one started when the one before has failed or has not
// connected within the attempt delay, the first connection kept; all within the deadline
// (on Windows the system's resolver itself cannot be bounded).
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
