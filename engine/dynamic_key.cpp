// The dynamic key: the GUID that every later login sends. Its UDP failure
// switches the engine to HTTP for good.
#include <string>
#include <vector>

#include "engine/request_text.h"
#include "voka/client_authen.h"

namespace {

constexpr uint16_t kDynamicKeyCommand = 0x5300;
constexpr char kDynamicKeyPath[] = "/zq.ack";

}  // namespace

int CClientAuthen::GetDynamicKey(const char* indication) {
  try {
    m_strGuid.clear();
    int result = GetDynamicKeyUdp(indication);
    if (result == AUTHEN_E_FAIL) {
      m_bUseUdp = false;
      result = GetDynamicKeyHttp(indication);
    }
    m_strGuid = FieldOrEmpty("GUID");
    return result;
  } catch (...) {
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::GetDynamicKeyUdp(const char* indication) {
  m_mapResult.clear();
  std::vector<std::string> fields;
  AppendOptionalField(fields, "INDICATION=", indication);
  return RunUdpStage(kDynamicKeyCommand, fields);
}

int CClientAuthen::GetDynamicKeyHttp(const char* indication) {
  m_mapResult.clear();
  std::string url = m_strTcpServer + kDynamicKeyPath;
  std::string query;
  if (indication != nullptr) {
    query = "INDICATION=" + EscapeQueryValue(indication);
    url += "?" + query;
  }
  return RunHttpStage(url, query);
}
