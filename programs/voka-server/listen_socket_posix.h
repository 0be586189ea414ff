// Bound IPv4 sockets for voka-server's services.
#pragma once

#include <string>

#include "voka-server/server_options.h"

// A non-blocking socket of the given type bound to the address (and
// listening, for TCP); -1 with a reason on failure.
int OpenBoundSocket(const ListenAddress& address, int type, std::string& error);

// "HOST:PORT" of the socket's local address, with the port the system chose.
std::string LocalAddressText(int socket);

// "HOST:PORT" of a peer address.
std::string PeerText(const void* sockaddrIn);
// "HOST" alone.
std::string AddressText(const void* sockaddrIn);
