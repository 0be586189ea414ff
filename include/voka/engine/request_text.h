// Building the parameter text of a request: "^$^"-joined fields for the
// sealed UDP text, "&"-joined fields for the HTTP query.
#pragma once

#include <string>
#include <vector>

#include "voka/protocol/request_kinds.h"

// An absent (null) argument gives an empty value.
inline std::string TextOf(const char* text) { return text != nullptr ? text : ""; }

// Joins the "NAME=value" fields with "^$^" into text. False when a value
// would change the field boundaries (it holds "^$^", or ends so that it
// forms one with the separator after it); the text has no escape for that.
bool JoinSealedFields(const std::vector<std::string>& fields, std::string& text);

// Joins the "NAME=value" fields with "&".
std::string JoinQueryFields(const std::vector<std::string>& fields);

// The value of one request field; null when the host did not pass one.
struct RequestValue {
  const char* name;
  const char* value;
};
using RequestValues = std::vector<RequestValue>;

// The "NAME=value" fields of a request in the order of the list (a row's
// udpFields or httpFields): values as they are for the sealed text, encoded
// by their use for the query. A field without a value is sent empty unless
// it is optional, when it is left out.
std::vector<std::string> SealedFieldsOf(const RequestField* fields, const RequestValues& values);
std::vector<std::string> QueryFieldsOf(const RequestField* fields, const RequestValues& values);

// The length of the list's "NAME=value" fields, unescaped, joined with
// separatorLength bytes: the exact length of the sealed text, a lower bound
// of the query's. Counted without building anything.
size_t JoinedFieldsLength(const RequestField* fields, const RequestValues& values, size_t separatorLength);
