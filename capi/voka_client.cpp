// The C interface over CClientAuthen: UTF-8 texts converted to the engine's
// code page and back, every outcome an int, no exception past the boundary.
#include "voka/voka_client.h"

#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "voka/client_authen.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/engine/request_text.h"
#include "voka/login_flow.h"
#include "voka/protocol/field_names.h"

struct voka_client {
  CClientAuthen engine;
};

namespace {

// Runs body on client's engine; a null handle or an exception (out of
// memory) is VOKA_E_FAIL.
template <typename Body>
int WithEngine(voka_client* client, Body body) {
  if (client == nullptr) return VOKA_E_FAIL;
  try {
    return body(client->engine);
  } catch (...) {
    return VOKA_E_FAIL;
  }
}

// Converts the UTF-8 arguments of a request to the code page exactly and runs
// it; a null, malformed or unrepresentable text, or one longer than any
// request, is refused by the engine before anything is sent.
template <size_t N, typename Request>
int RunRequest(voka_client* client, const char* const (&arguments)[N], Request request) {
  return WithEngine(client, [&](CClientAuthen& engine) {
    std::string texts[N];
    for (size_t i = 0; i < N; ++i) {
      if (arguments[i] == nullptr) return engine.RefuseTextNotInCodePage();
      if (std::strlen(arguments[i]) > kLongestUrl) return engine.RefuseRequestTooLong();
      if (!Utf8ToAnsiExactText(arguments[i], texts[i])) return engine.RefuseTextNotInCodePage();
    }
    return request(engine, texts);
  });
}

// Hands text out as the C interface's getters do.
int CopyOut(const std::string& text, char* out, size_t capacity, size_t* length) {
  if (length != nullptr) *length = text.size();
  if (out == nullptr || text.size() >= capacity) return VOKA_VALUE_TOO_LONG;
  std::memcpy(out, text.c_str(), text.size() + 1);
  return VOKA_OK;
}

}  // namespace

int voka_client_create(voka_client** client) {
  if (client == nullptr) return VOKA_E_FAIL;
  *client = nullptr;
  try {
    *client = new voka_client;
    return VOKA_OK;
  } catch (...) {
    return VOKA_E_FAIL;  // out of memory, in the allocation or in the engine's constructor
  }
}

void voka_client_free(voka_client* client) { delete client; }

int voka_client_initialize(voka_client* client, const char* udp_server, const char* http_server) {
  return RunRequest(client, {udp_server, http_server}, [](CClientAuthen& engine, const std::string* text) {
    return engine.Initialize(text[0].c_str(), text[1].c_str());
  });
}

int voka_client_set_udp_timeout(voka_client* client, int seconds) {
  return WithEngine(client, [seconds](CClientAuthen& engine) {
    // The exchange counts the wait in milliseconds, in an int.
    if (seconds < 1 || seconds > kLongestUdpTimeOutSeconds) return VOKA_E_FAIL;
    engine.SetUdpTimeOut(seconds);
    return VOKA_OK;
  });
}

int voka_client_uses_udp(voka_client* client, int* uses_udp) {
  if (uses_udp == nullptr) return VOKA_E_FAIL;
  return WithEngine(client, [uses_udp](CClientAuthen& engine) {
    *uses_udp = engine.UsesUdp() ? 1 : 0;
    return VOKA_OK;
  });
}

int voka_client_request(voka_client* client, int kind, const char* const* names, const char* const* values,
                        size_t count) {
  return WithEngine(client, [&](CClientAuthen& engine) {
    const RequestKindRow* row = nullptr;
    for (const RequestKindRow& candidate : AllRequestKinds()) {
      if (static_cast<int>(candidate.kind) == kind) row = &candidate;
    }
    if (row == nullptr || (count > 0 && (names == nullptr || values == nullptr))) return VOKA_E_FAIL;
    std::vector<std::string> texts(2 * count);
    for (size_t i = 0; i < 2 * count; ++i) {
      const char* text = i < count ? names[i] : values[i - count];
      if (text == nullptr) return i < count ? VOKA_E_FAIL : engine.RefuseTextNotInCodePage();
      if (std::strlen(text) > kLongestUrl) return engine.RefuseRequestTooLong();
      if (!Utf8ToAnsiExactText(text, texts[i])) return engine.RefuseTextNotInCodePage();
    }
    RequestValues given;
    for (size_t i = 0; i < count; ++i) given.push_back({texts[i].c_str(), texts[count + i].c_str()});
    return engine.Request(row->kind, given);
  });
}

namespace {

// One of the named requests: kind's fields as the engine's own method names them.
template <size_t N>
int NamedRequest(voka_client* client, RequestKind kind, const char* const (&names)[N], const char* const (&values)[N]) {
  return voka_client_request(client, static_cast<int>(kind), names, values, N);
}

}  // namespace

int voka_client_get_dynamic_key(voka_client* client, const char* indication) {
  return NamedRequest(client, RequestKind::kDynamicKey, {kFieldIndication}, {indication});
}

int voka_client_static_authen(voka_client* client, const char* user_id, const char* password, const char* app_id,
                              const char* area_id, const char* check_code, const char* indication) {
  return NamedRequest(client, RequestKind::kStaticLogin,
                      {kFieldUserId, kFieldPassword, kFieldAppId, kFieldAreaId, kFieldCheckCode, kFieldIndication},
                      {user_id, password, app_id, area_id, check_code, indication});
}

int voka_client_ekey_authen(voka_client* client, const char* user_id, const char* ekey_password, const char* ekey_type,
                            const char* indication) {
  return NamedRequest(client, RequestKind::kEKeyLogin,
                      {kFieldUserId, kFieldEKeyPassword, kFieldEKeyType, kFieldIndication},
                      {user_id, ekey_password, ekey_type, indication});
}

int voka_client_ecard_authen(voka_client* client, const char* user_id, const char* ecard_answer,
                             const char* indication) {
  return NamedRequest(client, RequestKind::kECardLogin, {kFieldUserId, kFieldECardAnswer, kFieldIndication},
                      {user_id, ecard_answer, indication});
}

int voka_client_login(voka_client* client, const char* user_id, const char* password, const char* app_id,
                      const char* area_id, const char* ekey_type, const char* indication) {
  return RunRequest(client, {user_id, password, app_id, area_id, ekey_type, indication},
                    [](CClientAuthen& engine, const std::string* text) {
                      LoginCredentials credentials;
                      credentials.userId = text[0];
                      credentials.password = text[1];
                      credentials.appId = text[2];
                      credentials.areaId = text[3];
                      credentials.ekeyType = text[4];
                      credentials.indication = text[5];
                      return RunLogin(engine, credentials).code;
                    });
}

int voka_client_get_value(voka_client* client, const char* name, char* value, size_t capacity, size_t* length) {
  return WithEngine(client, [&](CClientAuthen& engine) {
    std::string key, found;
    if (name == nullptr) return VOKA_E_FAIL;
    // No field has a name that is not UTF-8 or that the code page lacks.
    if (!Utf8ToAnsiExactText(name, key) || engine.GetValue(key.c_str(), found) != kValueFound) {
      return VOKA_VALUE_ABSENT;
    }
    return CopyOut(AnsiToUtf8Text(found), value, capacity, length);
  });
}

int voka_client_last_message(voka_client* client, char* message, size_t capacity, size_t* length) {
  return voka_client_get_value(client, "DESCMSG", message, capacity, length);
}

int voka_client_field_name(voka_client* client, size_t index, char* name, size_t capacity, size_t* length) {
  return WithEngine(client, [&](CClientAuthen& engine) {
    const auto& fields = engine.Results();
    if (index >= fields.size()) return VOKA_VALUE_ABSENT;
    return CopyOut(AnsiToUtf8Text(std::next(fields.begin(), index)->first), name, capacity, length);
  });
}

int voka_client_fields(voka_client* client, char* fields, size_t capacity, size_t* length) {
  return WithEngine(client, [&](CClientAuthen& engine) {
    // No name or value holds a NUL: the answer's NULs separate its fields.
    std::string block;
    for (const auto& field : engine.Results()) {
      block += AnsiToUtf8Text(field.first);
      block += '\0';
      block += AnsiToUtf8Text(field.second);
      block += '\0';
    }
    return CopyOut(block, fields, capacity, length);
  });
}

int voka_client_last_cause(voka_client* client) {
  return client == nullptr ? VOKA_CAUSE_NOT_TRIED : client->engine.LastCause();
}

const char* voka_client_cause_name(int cause) { return FailureCauseName(cause); }

const char* voka_client_version(void) { return VOKA_VERSION; }

const char* voka_client_result_name(int code) {
  // Each code with its macro's own name.
#define VOKA_NAMED_CODE(code) \
  { code, #code }
  static constexpr struct {
    int code;
    const char* name;
  } kNames[] = {VOKA_NAMED_CODE(VOKA_OK), VOKA_NAMED_CODE(VOKA_E_FAIL), VOKA_NAMED_CODE(VOKA_E_EKEYPWD),
                VOKA_NAMED_CODE(VOKA_VALUE_ABSENT), VOKA_NAMED_CODE(VOKA_VALUE_TOO_LONG)};
#undef VOKA_NAMED_CODE
  for (const auto& entry : kNames) {
    if (entry.code == code) return entry.name;
  }
  return nullptr;
}
