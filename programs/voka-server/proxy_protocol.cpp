#include "voka-server/proxy_protocol.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cstring>
#include <sstream>
#include <vector>

#include "voka/codec/decimal_integer.h"

namespace {

constexpr char kTextSignature[] = "PROXY ";
constexpr size_t kTextSignatureSize = sizeof kTextSignature - 1;
constexpr size_t kLongestTextLine = 107;
constexpr unsigned char kBinarySignature[] = {0x0D, 0x0A, 0x0D, 0x0A, 0x00, 0x0D, 0x0A, 0x51, 0x55, 0x49, 0x54, 0x0A};
constexpr size_t kBinaryFixedPart = 16;

// Whether data (size bytes) could be the start of signature, or starts with all of it.
bool StartsLike(const unsigned char* data, size_t size, const unsigned char* signature, size_t signatureSize) {
  return std::memcmp(data, signature, std::min(size, signatureSize)) == 0;
}

bool CanonicalAddress(int family, const std::string& text, std::string& address) {
  unsigned char bytes[sizeof(in6_addr)];
  char canonical[INET6_ADDRSTRLEN];
  if (inet_pton(family, text.c_str(), bytes) != 1 || !inet_ntop(family, bytes, canonical, sizeof canonical)) {
    return false;
  }
  address = canonical;
  return true;
}

// "PROXY TCP4 SOURCE DESTINATION SOURCE-PORT DESTINATION-PORT\r\n", TCP6
// alike, or "PROXY UNKNOWN" and anything up to the line's end.
ProxyHeaderStatus ReadTextHeader(const unsigned char* data, size_t size, ProxyHeader& header) {
  const auto* end = static_cast<const unsigned char*>(std::memchr(data, '\n', std::min(size, kLongestTextLine)));
  if (end == nullptr) return size < kLongestTextLine ? ProxyHeaderStatus::kIncomplete : ProxyHeaderStatus::kMalformed;
  if (end[-1] != '\r') return ProxyHeaderStatus::kMalformed;  // past the signature, which has no LF
  const std::string line(reinterpret_cast<const char*>(data) + kTextSignatureSize,
                         reinterpret_cast<const char*>(end) - 1);
  header.length = static_cast<size_t>(end - data) + 1;
  std::vector<std::string> words;
  std::istringstream split(line);
  for (std::string word; split >> word;) words.push_back(word);
  if (!words.empty() && words[0] == "UNKNOWN") return ProxyHeaderStatus::kRead;
  long port = 0;
  const bool valid = words.size() == 5 && (words[0] == "TCP4" || words[0] == "TCP6") &&
                     ParseInteger(words[3], 0, 65535, port) && ParseInteger(words[4], 0, 65535, port);
  const int family = !words.empty() && words[0] == "TCP6" ? AF_INET6 : AF_INET;
  std::string destination;
  if (!valid || !CanonicalAddress(family, words[2], destination) ||
      !CanonicalAddress(family, words[1], header.clientAddress)) {
    header.clientAddress.clear();
    return ProxyHeaderStatus::kMalformed;
  }
  return ProxyHeaderStatus::kRead;
}

// The signature, version and command, family and protocol, the length of
// what follows, then the addresses.
ProxyHeaderStatus ReadBinaryHeader(const unsigned char* data, size_t size, ProxyHeader& header) {
  if (size < kBinaryFixedPart) return ProxyHeaderStatus::kIncomplete;
  const unsigned version = data[12] >> 4, command = data[12] & 0x0F, family = data[13] >> 4;
  const size_t length = kBinaryFixedPart + (size_t{data[14]} << 8 | data[15]);
  if (version != 2 || command > 1 || length > kLargestProxyHeader) return ProxyHeaderStatus::kMalformed;
  if (size < length) return ProxyHeaderStatus::kIncomplete;
  header.length = length;
  // LOCAL: the proxy's own connection. Families other than IPv4 and IPv6 name no address of ours.
  if (command == 0 || (family != 1 && family != 2)) return ProxyHeaderStatus::kRead;
  const size_t addressSize = family == 1 ? 4 : 16;
  if (length < kBinaryFixedPart + 2 * addressSize + 4) return ProxyHeaderStatus::kMalformed;
  char text[INET6_ADDRSTRLEN];
  if (!inet_ntop(family == 1 ? AF_INET : AF_INET6, data + kBinaryFixedPart, text, sizeof text)) {
    return ProxyHeaderStatus::kMalformed;
  }
  header.clientAddress = text;
  return ProxyHeaderStatus::kRead;
}

}  // namespace

ProxyHeaderStatus ReadProxyHeader(const unsigned char* data, size_t size, ProxyHeader& header) {
  header = ProxyHeader();
  if (size == 0) return ProxyHeaderStatus::kIncomplete;
  if (StartsLike(data, size, reinterpret_cast<const unsigned char*>(kTextSignature), kTextSignatureSize)) {
    return size < kTextSignatureSize ? ProxyHeaderStatus::kIncomplete : ReadTextHeader(data, size, header);
  }
  if (StartsLike(data, size, kBinarySignature, sizeof kBinarySignature)) {
    return ReadBinaryHeader(data, size, header);
  }
  return ProxyHeaderStatus::kAbsent;
}
