// The dynamic key: the GUID that every later login sends. Its UDP failure
// switches the engine to HTTP for good.
#include <string>
#include <vector>

#include "engine/request_text.h"
#include "voka/client_authen.h"

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
  return RunUdpStage(RequestKind::kDynamicKey, {{"INDICATION", indication}});
}

int CClientAuthen::GetDynamicKeyHttp(const char* indication) {
  m_mapResult.clear();
  return RunHttpQueryStage(RequestKind::kDynamicKey, {{"INDICATION", indication}});
}
