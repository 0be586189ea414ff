// Building the parameter text of a request: "^$^"-joined fields for the
// sealed UDP text, "&"-joined fields for the HTTP query.
#pragma once

#include <string>
#include <vector>

inline constexpr char kFieldSeparator[] = "^$^";

// An absent (null) argument gives an empty value.
inline std::string TextOf(const char* text) { return text != nullptr ? text : ""; }

// Joins the "NAME=value" fields with "^$^" into text. False when a value
// would change the field boundaries (it holds "^$^", or ends so that it
// forms one with the separator after it); the text has no escape for that.
bool JoinSealedFields(const std::vector<std::string>& fields, std::string& text);

// Joins the "NAME=value" fields with "&".
std::string JoinQueryFields(const std::vector<std::string>& fields);

// Appends name + value when the value is present (not null): as it is for
// the sealed text, query-escaped for the URL.
void AppendOptionalField(std::vector<std::string>& fields, const char* name, const char* value);
void AppendOptionalQueryField(std::vector<std::string>& fields, const char* name,
                              const char* value);

// Percent-encodes the bytes of value that would break or change a URL
// query: blank, '&', '=', '#', '%', '+', control bytes and bytes of 0x80 and
// above. All other bytes stay, so plain values go unchanged.
std::string EscapeQueryValue(const std::string& value);
