// The kinds of request, one row each: the UDP command, the HTTP path and the
// fields in the order each transport sends them. The engine builds its
// requests from these rows, voka-server routes by them and voka-auth names
// its commands after them; a new kind of request starts with a new row.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "voka/protocol/field_names.h"

enum class RequestKind : uint8_t { kDynamicKey, kStaticLogin, kEKeyLogin, kECardLogin };

enum class FieldUse {
  kPlain,     // always sent; query-escaped over HTTP
  kIdentity,  // always sent; URL-encoded over HTTP (the user id and passwords)
  kOptional,  // sent only when the host passes a value; query-escaped over HTTP
};

struct RequestField {
  const char* name;  // null ends a field list
  FieldUse use;
  bool secret = false;  // a password or card answer: traces mask it
};

constexpr size_t kMaxRequestFields = 10;

struct RequestKindRow {
  RequestKind kind;
  const char* name;      // voka-auth's command word, voka-server's log
  const char* summary;   // what the request does, for voka-auth --help
  uint16_t udpCommand;   // wCommand of the request and of its answer
  const char* httpPath;  // after the HTTP base URL; a query follows after '?'
  RequestField udpFields[kMaxRequestFields];
  RequestField httpFields[kMaxRequestFields];
};

const RequestKindRow& RowOf(RequestKind kind);
// Every row, in the table's order.
const std::vector<RequestKindRow>& AllRequestKinds();
// Null when nothing matches.
const RequestKindRow* FindRequestByCommand(uint16_t command);
const RequestKindRow* FindRequestByPath(const std::string& path);
const RequestKindRow* FindRequestByName(const std::string& name);
// Whether a request of any kind carries NAME as a secret.
bool IsSecretField(const std::string& name);
// The names of the fields that some request carries as a secret.
const std::vector<std::string>& SecretFieldNames();
