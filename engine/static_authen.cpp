// Static account login, and the e-key password its answer may ask for.
#include <string>
#include <vector>

#include "codec/machine_identity.h"
#include "engine/engine_messages.h"
#include "engine/request_text.h"
#include "engine/usb_ekey_init.h"
#include "voka/client_authen.h"

namespace {

constexpr size_t kIdentityBufferSize = 128;

struct MachineIdentity {
  std::string clientIp;
  std::string mac;
};

MachineIdentity ReadMachineIdentity() {
  char ip[kIdentityBufferSize] = {};
  char mac[kIdentityBufferSize] = {};
  GetClientIp(ip);
  GetMacAddress(mac);
  return {ip, mac};
}

RequestValues StaticAuthenValues(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                 const char* checkCode, const char* indication, const std::string& guid,
                                 const MachineIdentity& identity) {
  return {{"USERID", userId},
          {"PWD", pwd},
          {"APPID", appId},
          {"AREAID", areaId},
          {"GUID", guid.c_str()},
          {"CLIENTIP", identity.clientIp.c_str()},
          {"MAC", identity.mac.c_str()},
          {"CHECKCODE", checkCode},
          {"INDICATION", indication}};
}

}  // namespace

int CClientAuthen::StaticAuthen(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                const char* checkCode, const char* indication) {
  try {
    m_strAppId = TextOf(appId);
    m_strAreaId = TextOf(areaId);
    const int result = m_bUseUdp ? StaticAuthenUdp(userId, pwd, appId, areaId, checkCode, indication)
                                 : StaticAuthenHttp(userId, pwd, appId, areaId, checkCode, indication);
    if (result != 0 || FindValue("AUTHENSTATE") != kStateNeedsEKey) {
      return result;
    }
    return RequestEkeyPasswordFromAnswer();
  } catch (...) {
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::RequestEkeyPasswordFromAnswer() {
  // A challenge the library's buffer cannot hold whole is refused like a
  // missing one: the token would answer a different challenge.
  const std::string challenge = FindValue("CHALLENGE");
  if (challenge.empty() || challenge.size() > kMaxEkeyChallengeLength) {
    SetResult("DESCMSG", kNoChallengeMessage);
    return AUTHEN_E_FAIL;
  }
  std::string password;
  if (!RequestEkeyPassword(challenge, password)) {
    m_mapResult.clear();
    SetResult("DESCMSG", kUsbTokenErrorMessage);
    SetResult("RETVALUE", std::to_string(AUTHEN_E_EKEYPWD));
    return AUTHEN_E_EKEYPWD;
  }
  SetResult("EKEYPWD", password);
  return 0;
}

int CClientAuthen::StaticAuthenUdp(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                   const char* checkCode, const char* indication) {
  const MachineIdentity identity = ReadMachineIdentity();
  return RunUdpStage(RequestKind::kStaticLogin,
                     StaticAuthenValues(userId, pwd, appId, areaId, checkCode, indication, m_strGuid, identity));
}

int CClientAuthen::StaticAuthenHttp(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                    const char* checkCode, const char* indication) {
  const MachineIdentity identity = ReadMachineIdentity();
  return RunHttpQueryStage(RequestKind::kStaticLogin,
                           StaticAuthenValues(userId, pwd, appId, areaId, checkCode, indication, m_strGuid, identity));
}
