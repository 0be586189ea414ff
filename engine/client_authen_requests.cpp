// The requests: each completed from its row and the login's context, then
// sent over the engine's transport by one stage runner. The dynamic key tries
// UDP first and moves the engine to HTTP for good when that fails; the
// account login has the USB token answer a challenge its answer carries.
#include <string>
#include <vector>

#include "engine/request_values.h"
#include "engine/usb_ekey_init.h"
#include "protocol/engine_messages.h"
#include "voka/client_authen.h"
#include "voka/protocol/field_names.h"

int CClientAuthen::GetDynamicKey(const char* indication) {
  return RequestNamed(RequestKind::kDynamicKey, {{kFieldIndication, indication}});
}

int CClientAuthen::StaticAuthen(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                const char* checkCode, const char* indication) {
  return RequestNamed(RequestKind::kStaticLogin, {{kFieldUserId, userId},
                                                  {kFieldPassword, pwd},
                                                  {kFieldAppId, appId},
                                                  {kFieldAreaId, areaId},
                                                  {kFieldCheckCode, checkCode},
                                                  {kFieldIndication, indication}});
}

int CClientAuthen::EKeyAuthen(const char* userId, const char* ekeyPwd, const char* ekeyType, const char* indication) {
  return RequestNamed(RequestKind::kEKeyLogin, {{kFieldUserId, userId},
                                                {kFieldEKeyPassword, ekeyPwd},
                                                {kFieldEKeyType, ekeyType},
                                                {kFieldIndication, indication}});
}

int CClientAuthen::ECardAuthen(const char* userId, const char* ecardPwd, const char* indication) {
  return RequestNamed(RequestKind::kECardLogin,
                      {{kFieldUserId, userId}, {kFieldECardAnswer, ecardPwd}, {kFieldIndication, indication}});
}

int CClientAuthen::RequestNamed(RequestKind kind, std::initializer_list<RequestValue> given) {
  try {
    BeginRequest();
    return Request(kind, RequestValues(given));
  } catch (...) {
    NoteCause(m_eLastStage, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::Request(RequestKind kind, const RequestValues& given) {
  try {
    BeginRequest();
    // A request that names the application and area keeps them for the
    // requests after it, as the account login does.
    for (const auto& kept : {std::make_pair(kFieldAppId, &m_strAppId), std::make_pair(kFieldAreaId, &m_strAreaId)}) {
      for (const RequestValue& value : given) {
        if (std::string(value.name) == kept.first) *kept.second = TextOf(value.value);
      }
    }
    const MachineIdentity identity = SendsMachineIdentity(kind) ? ReadMachineIdentity() : MachineIdentity();
    const LoginContext context{m_strGuid, m_strAppId, m_strAreaId};
    const RequestValues values = CompleteRequestValues(kind, given, context, identity);
    const RequestTransport transport = m_bUseUdp ? RequestTransport::kUdp : RequestTransport::kHttp;
    switch (kind) {
      case RequestKind::kDynamicKey: return IssueDynamicKey(values);
      case RequestKind::kStaticLogin: {
        const int result = RunStage(transport, kind, values);
        if (result != 0 || FindValue(kFieldAuthenState) != kStateNeedsEKey) return result;
        return RequestEkeyPasswordFromAnswer();
      }
      case RequestKind::kEKeyLogin:
      case RequestKind::kECardLogin: return RunStage(transport, kind, values);
    }
    return AUTHEN_E_FAIL;
  } catch (...) {
    NoteCause(m_eLastStage, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::ProbeDynamicKey(RequestTransport transport, const char* indication) {
  try {
    BeginRequest();
    return RunKeyStage(transport, {{kFieldIndication, indication}}, nullptr);
  } catch (...) {
    NoteCause(m_eLastStage, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::IssueDynamicKey(const RequestValues& values) {
  m_strGuid.clear();
  bool refused = false;
  int result = RunKeyStage(RequestTransport::kUdp, values, &refused);
  if (SwitchToHttpAfterUdpFailure(result, refused)) {
    result = RunKeyStage(RequestTransport::kHttp, values, nullptr);
  }
  m_strGuid = FindValue(kFieldGuid);
  return result;
}

int CClientAuthen::RunKeyStage(RequestTransport transport, const RequestValues& values, bool* refused) {
  m_mapResult.clear();
  return RunStage(transport, RequestKind::kDynamicKey, values, refused);
}

int CClientAuthen::RunStage(RequestTransport transport, RequestKind kind, const RequestValues& values, bool* refused) {
  return transport == RequestTransport::kUdp ? RunUdpStage(kind, values, refused) : RunHttpQueryStage(kind, values);
}

bool CClientAuthen::SwitchToHttpAfterUdpFailure(int udpResult, bool refusedBeforeSending) {
  if (udpResult != AUTHEN_E_FAIL || refusedBeforeSending || m_bCancelled) {
    return false;
  }
  m_bUseUdp = false;
  return true;
}

int CClientAuthen::RequestEkeyPasswordFromAnswer() {
  // A challenge the library's buffer cannot hold whole is refused like a
  // missing one: the token would answer a different challenge.
  const std::string challenge = FindValue(kFieldChallenge);
  if (challenge.empty() || challenge.size() > kMaxEkeyChallengeLength) {
    NoteCause(m_eLastStage, VOKA_CAUSE_NO_CHALLENGE);
    SetResult(kFieldDescMsg, kNoChallengeMessage);
    return AUTHEN_E_FAIL;
  }
  std::string password;
  if (!RequestEkeyPassword(challenge, password)) {
    NoteCause(m_eLastStage, VOKA_CAUSE_TOKEN_FAILED);
    m_mapResult.clear();
    SetResult(kFieldDescMsg, kUsbTokenErrorMessage);
    SetResult(kFieldRetValue, std::to_string(AUTHEN_E_EKEYPWD));
    return AUTHEN_E_EKEYPWD;
  }
  SetResult(kFieldEKeyPassword, password);
  return 0;
}
