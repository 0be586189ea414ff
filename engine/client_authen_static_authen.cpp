// Static account login, and the e-key password its answer may ask for.
#include <string>
#include <vector>

#include "codec/machine_identity.h"
#include "engine/engine_messages.h"
#include "engine/request_values.h"
#include "engine/usb_ekey_init.h"
#include "protocol/field_names.h"
#include "voka/client_authen.h"

RequestValues StaticAuthenValues(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                 const char* checkCode, const char* indication, const std::string& guid,
                                 const MachineIdentity& identity) {
  return {{kFieldUserId, userId},
          {kFieldPassword, pwd},
          {kFieldAppId, appId},
          {kFieldAreaId, areaId},
          {kFieldGuid, guid.c_str()},
          {kFieldClientIp, identity.clientIp.c_str()},
          {kFieldMac, identity.mac.c_str()},
          {kFieldCheckCode, checkCode},
          {kFieldIndication, indication}};
}

int CClientAuthen::StaticAuthen(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                const char* checkCode, const char* indication) {
  try {
    BeginRequest();
    m_strAppId = TextOf(appId);
    m_strAreaId = TextOf(areaId);
    const int result = m_bUseUdp ? StaticAuthenUdp(userId, pwd, appId, areaId, checkCode, indication)
                                 : StaticAuthenHttp(userId, pwd, appId, areaId, checkCode, indication);
    if (result != 0 || FindValue(kFieldAuthenState) != kStateNeedsEKey) {
      return result;
    }
    return RequestEkeyPasswordFromAnswer();
  } catch (...) {
    NoteCause(m_eLastStage, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
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

int CClientAuthen::StaticAuthenUdp(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                   const char* checkCode, const char* indication) {
  return RunUdpStage(RequestKind::kStaticLogin, StaticAuthenValues(userId, pwd, appId, areaId, checkCode, indication,
                                                                   m_strGuid, ReadMachineIdentity()));
}

int CClientAuthen::StaticAuthenHttp(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                    const char* checkCode, const char* indication) {
  return RunHttpQueryStage(RequestKind::kStaticLogin, StaticAuthenValues(userId, pwd, appId, areaId, checkCode,
                                                                         indication, m_strGuid, ReadMachineIdentity()));
}
