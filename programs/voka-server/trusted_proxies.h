// The proxies voka-server believes (--trusted-proxy), and the client address
// a request that came through them is charged to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// An IPv4 network, ADDRESS[/BITS]; the address bits below the prefix are zero.
struct AddressRange {
  uint32_t network = 0;  // host byte order
  int bits = 32;
};

// false for anything but a dotted IPv4 address with an optional prefix of 0
// to 32 bits and no bits set past it.
bool ParseAddressRange(const std::string& text, AddressRange& range);

class CTrustedProxies {
 public:
  CTrustedProxies() = default;
  explicit CTrustedProxies(std::vector<AddressRange> ranges) : m_ranges(std::move(ranges)) {}

  bool Empty() const { return m_ranges.empty(); }
  // address: the text of an IPv4 address; anything else is never trusted.
  bool Trusts(const std::string& address) const;
  // The address a request from peer is charged to: peer itself unless it is
  // trusted; else, walking X-Forwarded-For from its right end, the first
  // address not trusted, or the last trusted one where the list ends or an
  // entry is not an address.
  std::string ForwardedClient(const std::string& peer, const std::string& forwardedFor) const;

 private:
  std::vector<AddressRange> m_ranges;
};
