// The dynamic key: the GUID that every later login sends. Its UDP failure
// switches the engine to HTTP for good (SwitchToHttpAfterUdpFailure).
#include <string>
#include <vector>

#include "engine/request_text.h"
#include "protocol/field_names.h"
#include "voka/client_authen.h"

int CClientAuthen::GetDynamicKey(const char* indication) {
  try {
    BeginRequest();
    m_strGuid.clear();
    bool refused = false;
    int result = GetDynamicKeyUdp(indication, &refused);
    if (SwitchToHttpAfterUdpFailure(result, refused)) {
      result = GetDynamicKeyHttp(indication);
    }
    m_strGuid = FindValue(kFieldGuid);
    return result;
  } catch (...) {
    NoteCause(m_eLastStage, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::ProbeDynamicKey(RequestTransport transport, const char* indication) {
  try {
    BeginRequest();
    return transport == RequestTransport::kUdp ? GetDynamicKeyUdp(indication, nullptr) : GetDynamicKeyHttp(indication);
  } catch (...) {
    NoteCause(m_eLastStage, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::GetDynamicKeyUdp(const char* indication, bool* refused) {
  m_mapResult.clear();
  return RunUdpStage(RequestKind::kDynamicKey, {{kFieldIndication, indication}}, refused);
}

int CClientAuthen::GetDynamicKeyHttp(const char* indication) {
  m_mapResult.clear();
  return RunHttpQueryStage(RequestKind::kDynamicKey, {{kFieldIndication, indication}});
}

bool CClientAuthen::SwitchToHttpAfterUdpFailure(int udpResult, bool refusedBeforeSending) {
  if (udpResult != AUTHEN_E_FAIL || refusedBeforeSending) {
    return false;
  }
  m_bUseUdp = false;
  return true;
}
