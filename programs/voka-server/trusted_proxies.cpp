#include "voka-server/trusted_proxies.h"

#include <arpa/inet.h>

#include "voka/codec/decimal_integer.h"

namespace {

bool ParseIpv4(const std::string& text, uint32_t& address) {
  in_addr parsed = {};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  address = ntohl(parsed.s_addr);
  return true;
}

// The address in its canonical text, or empty when the entry is none.
std::string CanonicalAddress(const std::string& entry) {
  unsigned char bytes[sizeof(in6_addr)];
  char text[INET6_ADDRSTRLEN];
  for (int family : {AF_INET, AF_INET6}) {
    if (inet_pton(family, entry.c_str(), bytes) == 1 && inet_ntop(family, bytes, text, sizeof text) != nullptr) {
      return text;
    }
  }
  return "";
}

std::string Trimmed(const std::string& text, size_t begin, size_t end) {
  while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
  while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
  return text.substr(begin, end - begin);
}

}  // namespace

bool ParseAddressRange(const std::string& text, AddressRange& range) {
  const size_t slash = text.find('/');
  long bits = 32;
  if (slash != std::string::npos && !ParseInteger(text.substr(slash + 1), 0, 32, bits)) return false;
  uint32_t address = 0;
  if (!ParseIpv4(text.substr(0, slash), address)) return false;
  const uint32_t mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
  if ((address & ~mask) != 0) return false;
  range = {address, static_cast<int>(bits)};
  return true;
}

bool CTrustedProxies::Trusts(const std::string& address) const {
  uint32_t parsed = 0;
  if (m_ranges.empty() || !ParseIpv4(address, parsed)) return false;
  for (const AddressRange& range : m_ranges) {
    const uint32_t mask = range.bits == 0 ? 0 : ~uint32_t{0} << (32 - range.bits);
    if ((parsed & mask) == range.network) return true;
  }
  return false;
}

std::string CTrustedProxies::ForwardedClient(const std::string& peer, const std::string& forwardedFor) const {
  std::string client = peer;
  size_t end = forwardedFor.size();
  while (Trusts(client) && end != std::string::npos) {
    const size_t comma = end == 0 ? std::string::npos : forwardedFor.rfind(',', end - 1);
    const size_t begin = comma == std::string::npos ? 0 : comma + 1;
    const std::string entry = CanonicalAddress(Trimmed(forwardedFor, begin, end));
    if (entry.empty()) break;
    client = entry;
    end = comma;
  }
  return client;
}
