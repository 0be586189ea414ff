#include "voka/engine/request_text.h"

#include <cstring>

#include "codec/str_coding.h"
#include "codec/url_escape.h"
#include "voka/client_authen.h"
#include "voka/protocol/answer_fields.h"

namespace {

const char* ValueOf(const RequestValues& values, const char* name) {
  for (const RequestValue& value : values) {
    if (std::string(value.name) == name) return value.value;
  }
  return nullptr;
}

// Calls visit(field, value) for each field that is sent, in the list's order;
// value is null when the host passed none.
template <typename Visit>
void ForEachSentField(const RequestField* fields, const RequestValues& values, Visit visit) {
  for (const RequestField* field = fields; field->name != nullptr; ++field) {
    const char* value = ValueOf(values, field->name);
    if (value == nullptr && field->use == FieldUse::kOptional) continue;
    visit(*field, value);
  }
}

// The sent fields as "NAME=" followed by add(field, value).
template <typename Add>
std::vector<std::string> FieldsOf(const RequestField* fields, const RequestValues& values, Add add) {
  std::vector<std::string> sent;
  ForEachSentField(fields, values, [&](const RequestField& field, const char* value) {
    sent.push_back(std::string(field.name) + "=" + add(field, TextOf(value)));
  });
  return sent;
}

}  // namespace

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

std::vector<std::string> SealedFieldsOf(const RequestField* fields, const RequestValues& values) {
  return FieldsOf(fields, values, [](const RequestField&, const std::string& value) { return value; });
}

std::vector<std::string> QueryFieldsOf(const RequestField* fields, const RequestValues& values) {
  return FieldsOf(fields, values, [](const RequestField& field, const std::string& value) {
    return field.use == FieldUse::kIdentity ? g_StrCoding.UrlEncode(value.c_str()) : EscapeQueryValue(value);
  });
}

size_t JoinedFieldsLength(const RequestField* fields, const RequestValues& values, size_t separatorLength) {
  size_t length = 0;
  size_t count = 0;
  ForEachSentField(fields, values, [&](const RequestField& field, const char* value) {
    length += std::strlen(field.name) + 1 + (value != nullptr ? std::strlen(value) : 0);
    ++count;
  });
  return count == 0 ? 0 : length + (count - 1) * separatorLength;
}
