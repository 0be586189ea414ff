#pragma once

#include <string>

// Who the client machine is, as the login requests report it. Each value is
// looked up once per process: the first non-empty result is cached (under a
// lock) and handed out unchanged afterwards; an empty result is retried on the
// next call. A null buffer does nothing.

// The MAC address as "%02X-%02X-%02X-%02X-%02X-%02X" (17 characters), or ""
// when no adapter answers. buffer holds at least 18 bytes.
void GetMacAddress(char* buffer);

// The first IPv4 address of the host's own name in dotted form, or "" when
// there is none. buffer holds at least 16 bytes.
void GetClientIp(char* buffer);

// Both, as a login request reports them.
struct MachineIdentity {
  std::string clientIp;
  std::string mac;
};
MachineIdentity ReadMachineIdentity();
