#pragma once
// Inside the platform layer only: the thread that reads every socket of the process's thread
// queues and windows and hands what arrives to the queues, and that delivers datagrams the
// receiver could not take at once. It starts with the first socket and runs until the process
// ends.

#include <cstdint>
#include <filesystem>
#include <functional>

#include "platform/UnixSocket.h"

namespace plat::detail {

using EndpointId = std::uint64_t;

// Called on the pump thread, KernelLock held, for each well-formed datagram; passedFd is the
// descriptor that came with it (invalid when none).
using DatagramHandler = std::function<void(const WireMessage& wire, UniqueFd passedFd)>;
// Called on the pump thread, KernelLock held, once the peer of a connected socket has closed.
using HangUpHandler = std::function<void()>;

// Starts reading fd. KernelLock held.
EndpointId AddEndpoint(UniqueFd fd, DatagramHandler onDatagram, HangUpHandler onHangUp = {});

// Stops reading and closes the socket. KernelLock held.
void RemoveEndpoint(EndpointId id);

// Sends the message to the socket bound at path without blocking. When the receiver's queue
// is full the message, and every later one to the same path, waits in this process until the
// pump thread can hand it over, in order. Returns false when no live socket is bound at path.
// KernelLock held.
bool PostWire(const std::filesystem::path& path, const WireMessage& wire,
              UniqueFd passedFd = UniqueFd());

}  // namespace plat::detail
