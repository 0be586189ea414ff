#include "programs/voka-server/trusted_proxies.h"

#include <gtest/gtest.h>

#include <string>

#include "programs/voka-server/proxy_protocol.h"

namespace {

CTrustedProxies Proxies(std::initializer_list<const char*> texts) {
  std::vector<AddressRange> ranges(texts.size());
  for (size_t i = 0; i < texts.size(); ++i) EXPECT_TRUE(ParseAddressRange(texts.begin()[i], ranges[i]));
  return CTrustedProxies(ranges);
}

TEST(TrustedProxies, RangesAtTheirEdges) {
  AddressRange range;
  for (const char* text : {"0.0.0.0/0", "10.0.0.1/32", "10.0.0.1"}) EXPECT_TRUE(ParseAddressRange(text, range)) << text;
  // A host bit past the prefix, a prefix too long, missing or negative, not IPv4.
  for (const char* text : {"10.0.0.1/31", "10.0.0.0/33", "10.0.0.0/", "10.0.0.0/-1", "10.0.0", "::1"}) {
    EXPECT_FALSE(ParseAddressRange(text, range)) << text;
  }
}

TEST(TrustedProxies, ForwardedClientWalksFromTheRightPastTrustedHops) {
  const CTrustedProxies proxies = Proxies({"127.0.0.1", "10.1.0.0/16"});
  const char* const rows[][3] = {
      // peer, X-Forwarded-For, the client charged
      {"127.0.0.2", "10.9.9.9", "127.0.0.2"},                 // an untrusted peer's header is not believed
      {"127.0.0.1", "", "127.0.0.1"},                         // the proxy's own request
      {"127.0.0.1", "10.9.9.9, 192.0.2.7", "192.0.2.7"},      // the client's own entry is not taken
      {"127.0.0.1", "192.0.2.7 ,10.1.255.255", "192.0.2.7"},  // the last address of the trusted range
      {"127.0.0.1", "192.0.2.7,10.2.0.0", "10.2.0.0"},        // just past it
      {"127.0.0.1", "10.1.0.1,10.1.0.2", "10.1.0.1"},         // all trusted: the farthest
      {"127.0.0.1", "192.0.2.7,junk,10.1.0.2", "10.1.0.2"},   // the walk stops at a non-address
      {"127.0.0.1", "2001:DB8::0:1", "2001:db8::1"},          // IPv6, in its canonical form
  };
  for (const auto& row : rows) EXPECT_EQ(proxies.ForwardedClient(row[0], row[1]), row[2]) << row[0] << " " << row[1];
}

std::string Binary(unsigned char command, unsigned char family, const std::string& body) {
  std::string header("\r\n\r\n\0\r\nQUIT\n", 12);
  header += static_cast<char>(0x20 | command);
  header += static_cast<char>(family);
  header += static_cast<char>(body.size() >> 8);
  header += static_cast<char>(body.size() & 0xFF);
  return header + body;
}

TEST(ProxyProtocol, HeadersOfBothVersions) {
  const std::string ipv4(std::string("\xC0\x00\x02\x07\x7F\x00\x00\x01\x30\x39\x1F\x90", 12));
  const std::string ipv6 = std::string("\x20\x01\x0D\xB8", 4) + std::string(11, '\0') + "\x01" + std::string(20, '\0');
  struct Row {
    std::string bytes;
    ProxyHeaderStatus status;
    size_t length;
    const char* client;
  };
  const std::string v1 = "PROXY TCP4 192.0.2.7 127.0.0.1 12345 8080\r\n";
  const Row rows[] = {
      {v1 + "GET / HTTP/1.1\r\n", ProxyHeaderStatus::kRead, v1.size(), "192.0.2.7"},
      {v1.substr(0, v1.size() - 1), ProxyHeaderStatus::kIncomplete, 0, ""},
      {"PROX", ProxyHeaderStatus::kIncomplete, 0, ""},
      {"PROXY TCP6 2001:db8::1 ::1 1 65535\r\n", ProxyHeaderStatus::kRead, 36, "2001:db8::1"},
      {"PROXY UNKNOWN\r\n", ProxyHeaderStatus::kRead, 15, ""},
      {"PROXY TCP4 192.0.2.7 127.0.0.1 12345 65536\r\n", ProxyHeaderStatus::kMalformed, 0, ""},
      {"PROXY TCP4 192.0.2.7 127.0.0.1 1 2\n", ProxyHeaderStatus::kMalformed, 0, ""},
      // The longest line is 107 bytes with its CRLF: one more without an end is refused.
      {"PROXY UNKNOWN " + std::string(91, 'x') + "\r\n", ProxyHeaderStatus::kRead, 107, ""},
      {"PROXY UNKNOWN " + std::string(93, 'x'), ProxyHeaderStatus::kMalformed, 0, ""},
      {"\x16\x03\x01", ProxyHeaderStatus::kAbsent, 0, ""},
      {Binary(1, 0x11, ipv4) + "\x16", ProxyHeaderStatus::kRead, 28, "192.0.2.7"},
      {Binary(1, 0x21, ipv6), ProxyHeaderStatus::kRead, 52, "2001:db8::1"},
      {Binary(0, 0x11, ipv4), ProxyHeaderStatus::kRead, 28, ""},  // LOCAL: the proxy's own
      {Binary(1, 0x11, ipv4).substr(0, 27), ProxyHeaderStatus::kIncomplete, 0, ""},
      {Binary(1, 0x11, ipv4.substr(0, 11)), ProxyHeaderStatus::kMalformed, 0, ""},
      {Binary(2, 0x11, ipv4), ProxyHeaderStatus::kMalformed, 0, ""},
      {Binary(1, 0x11, ipv4 + std::string(kLargestProxyHeader - 28, '\0')), ProxyHeaderStatus::kRead,
       kLargestProxyHeader, "192.0.2.7"},
      {Binary(1, 0x11, ipv4 + std::string(kLargestProxyHeader - 27, '\0')), ProxyHeaderStatus::kMalformed, 0, ""},
  };
  for (const Row& row : rows) {
    ProxyHeader header;
    const auto* data = reinterpret_cast<const unsigned char*>(row.bytes.data());
    EXPECT_EQ(ReadProxyHeader(data, row.bytes.size(), header), row.status) << row.bytes;
    if (row.status == ProxyHeaderStatus::kRead) {
      EXPECT_EQ(header.length, row.length) << row.bytes;
      EXPECT_EQ(header.clientAddress, row.client) << row.bytes;
    }
  }
}

}  // namespace
