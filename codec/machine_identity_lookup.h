#pragma once
// The platform's look-ups behind GetMacAddress and GetClientIp, called under
// the identity lock. Each returns "" when it finds nothing.

#include <string>

// "%02X-%02X-%02X-%02X-%02X-%02X" of the chosen adapter's hardware address.
std::string LookUpMacAddress();

// The first IPv4 address of the host's own name, dotted.
std::string LookUpClientIp();
