#pragma once
// What the machine's network has, listed without choosing among it, so that
// the identity tests can tell a sound answer from an empty one.

#include <map>
#include <set>
#include <string>

// Hardware addresses of the interfaces that are not loopbacks and have six
// bytes of it, written like "02-FC-00-00-00-01".
std::set<std::string> InterfaceMacTexts();
// The same interfaces by index on Linux, each with whether it is up and
// backed by a device.
struct LinuxInterface {
  std::string mac;
  bool upWithDevice;
};
std::map<long, LinuxInterface> LinuxInterfacesByIndex();
// The IPv4 addresses the machine's host name resolves to, dotted; and those
// with the addresses of its interfaces added.
std::set<std::string> HostNameIpv4Texts();
std::set<std::string> MachineIpv4Texts();
