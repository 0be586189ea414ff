#pragma once
// Helpers for the loopback peers: sockets bound to 127.0.0.1 on a port the
// system picks.

#include <cstdint>
#include <string>

#include "voka/transport/socket_shim.h"

// A socket of the given type bound to 127.0.0.1:0; its port goes to *port.
// kInvalidSocket when that fails.
socket_t BindLoopback(int type, uint16_t* port);

sockaddr_in LoopbackAddress(uint16_t port);

// Sends all of text on a stream socket; false when the peer went away.
bool SendAll(socket_t socket, const std::string& text);
