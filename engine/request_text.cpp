#include "engine/request_text.h"

#include "voka/client_authen.h"

bool JoinSealedFields(const std::vector<std::string>& fields, std::string& text) {
  text.clear();
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) {
      text += kFieldSeparator;
    }
    text += fields[i];
  }
  if (fields.empty()) {
    return true;
  }
  // The reader splits at every "^$^": the text is sound only when that
  // gives back exactly the fields.
  std::vector<std::string> pieces;
  CClientAuthen::SplitString(text, kFieldSeparator, pieces);
  return pieces == fields;
}

std::string JoinQueryFields(const std::vector<std::string>& fields) {
  std::string query;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) {
      query += '&';
    }
    query += fields[i];
  }
  return query;
}

void AppendOptionalField(std::vector<std::string>& fields, const char* name, const char* value) {
  if (value != nullptr) {
    fields.push_back(name + std::string(value));
  }
}

void AppendOptionalQueryField(std::vector<std::string>& fields, const char* name,
                              const char* value) {
  if (value != nullptr) {
    fields.push_back(name + EscapeQueryValue(value));
  }
}

std::string EscapeQueryValue(const std::string& value) {
  static const char kHexDigits[] = "0123456789ABCDEF";
  std::string escaped;
  escaped.reserve(value.size());
  for (unsigned char byte : value) {
    const bool breaksQuery = byte <= 0x20 || byte >= 0x7F || byte == '&' || byte == '=' ||
                             byte == '#' || byte == '%' || byte == '+';
    if (breaksQuery) {
      escaped += '%';
      escaped += kHexDigits[byte >> 4];
      escaped += kHexDigits[byte & 0x0F];
    } else {
      escaped += static_cast<char>(byte);
    }
  }
  return escaped;
}
