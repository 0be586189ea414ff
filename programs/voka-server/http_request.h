// The request head of voka-server's HTTP service, and its query.
#pragma once

#include <string>

#include "programs/voka-server/request_opener.h"

constexpr size_t kLargestRequestHead = 8192;

struct HttpRequest {
  std::string method;
  std::string path;   // target up to '?'
  std::string query;  // after '?', still encoded
  bool hasQuery = false;
};

enum class HeadStatus {
  kIncomplete,  // no blank line yet: read more
  kComplete,
  kMalformed,   // answer 400
  kTooLong,     // no blank line within kLargestRequestHead bytes: answer 431
};

// Parses the request line once the head (ended by a blank line) is in buffer.
HeadStatus ParseHttpRequestHead(const std::string& buffer, HttpRequest& request, std::string& problem);

// Form decoding of one query component: '+' is a blank, %XX a byte; a '%'
// without two hex digits stays as it is.
std::string DecodeQueryComponent(const std::string& text);

// NAME=VALUE pairs joined by '&', decoded; names upper-cased.
RequestFields ParseQuery(const std::string& query);

// Status line and headers of a response of bodyLength bytes that closes the
// connection.
std::string HttpResponseHead(int status, size_t bodyLength);

// A 302 response to location, without a body, that closes the connection.
std::string HttpRedirectHead(const std::string& location);
