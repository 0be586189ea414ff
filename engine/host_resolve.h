// Host-name lookup for the UDP endpoint.
#pragma once

#include <string>

// Dotted text of the first IPv4 address host resolves to; an empty host
// stands for the local computer. False when it does not resolve.
bool ResolveFirstIpv4(const std::string& host, std::string& dotted);
