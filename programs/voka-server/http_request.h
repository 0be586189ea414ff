// The request target of voka-server's HTTP service, and its query.
#pragma once

#include <string>

#include "voka-server/request_opener.h"

struct RequestTarget {
  std::string path;   // up to the first '?'
  std::string query;  // after it, still encoded
  bool hasQuery = false;
};

// Splits a target at its first '?' (a '?' later on belongs to a value); false
// for a target that does not start with '/' or holds control bytes.
bool SplitRequestTarget(const std::string& target, RequestTarget& split);

// Form decoding of one query component: '+' is a blank, %XX a byte; a '%'
// without two hex digits stays as it is.
std::string DecodeQueryComponent(const std::string& text);

// NAME=VALUE pairs joined by '&', decoded; names upper-cased.
RequestFields ParseQuery(const std::string& query);
