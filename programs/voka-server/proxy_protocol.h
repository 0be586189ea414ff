// The PROXY protocol header that a TCP proxy sends ahead of its client's
// bytes, naming the client: version 1 (a text line) and version 2 (binary).
// Read only from trusted proxies: anyone else could name any client.
#pragma once

#include <cstddef>
#include <string>

#include "voka-server/server_limits.h"

enum class ProxyHeaderStatus {
  kAbsent,      // the bytes do not start a header
  kIncomplete,  // they start one that has not all come
  kRead,
  kMalformed,  // including one longer than kLargestProxyHeader
};

struct ProxyHeader {
  size_t length = 0;          // bytes to take off the stream
  std::string clientAddress;  // empty: the proxy names no client (a health check, UNKNOWN)
};

ProxyHeaderStatus ReadProxyHeader(const unsigned char* data, size_t size, ProxyHeader& header);
