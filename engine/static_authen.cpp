// Static account login, and the e-key password its answer may ask for.
#include <string>
#include <vector>

#include "codec/machine_identity.h"
#include "codec/str_coding.h"
#include "engine/engine_messages.h"
#include "engine/request_text.h"
#include "engine/usb_ekey_init.h"
#include "voka/client_authen.h"

namespace {

constexpr uint16_t kStaticAuthenCommand = 0xC500;
constexpr char kStaticAuthenPath[] = "/Login.Validate.Account?";
constexpr char kEkeyPasswordState[] = "4";
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
}  // namespace

int CClientAuthen::StaticAuthen(const char* userId, const char* pwd, const char* appId,
                                const char* areaId, const char* checkCode,
                                const char* indication) {
  try {
    m_strAppId = TextOf(appId);
    m_strAreaId = TextOf(areaId);
    const int result = m_bUseUdp
                           ? StaticAuthenUdp(userId, pwd, appId, areaId, checkCode, indication)
                           : StaticAuthenHttp(userId, pwd, appId, areaId, checkCode, indication);
    if (result != 0 || FieldOrEmpty("AUTHENSTATE") != kEkeyPasswordState) {
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
  const std::string challenge = FieldOrEmpty("CHALLENGE");
  if (challenge.empty() || challenge.size() > kMaxEkeyChallengeLength) {
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

int CClientAuthen::StaticAuthenUdp(const char* userId, const char* pwd, const char* appId,
                                   const char* areaId, const char* checkCode,
                                   const char* indication) {
  const MachineIdentity identity = ReadMachineIdentity();
  std::vector<std::string> fields = {
      "USERID=" + TextOf(userId),        "PWD=" + TextOf(pwd),
      "APPID=" + TextOf(appId),          "AREAID=" + TextOf(areaId),
      "GUID=" + m_strGuid,               "CLIENTIP=" + identity.clientIp,
      "MAC=" + identity.mac,
  };
  AppendOptionalField(fields, "CHECKCODE=", checkCode);
  AppendOptionalField(fields, "INDICATION=", indication);
  return RunUdpStage(kStaticAuthenCommand, fields);
}

int CClientAuthen::StaticAuthenHttp(const char* userId, const char* pwd, const char* appId,
                                    const char* areaId, const char* checkCode,
                                    const char* indication) {
  const MachineIdentity identity = ReadMachineIdentity();
  std::vector<std::string> fields = {
      "USERID=" + g_StrCoding.UrlEncode(TextOf(userId).c_str()),
      "PWD=" + g_StrCoding.UrlEncode(TextOf(pwd).c_str()),
      "APPID=" + EscapeQueryValue(TextOf(appId)),
      "AREAID=" + EscapeQueryValue(TextOf(areaId)),
      "GUID=" + EscapeQueryValue(m_strGuid),
      "CLIENTIP=" + EscapeQueryValue(identity.clientIp),
      "MAC=" + EscapeQueryValue(identity.mac),
  };
  AppendOptionalQueryField(fields, "CHECKCODE=", checkCode);
  AppendOptionalQueryField(fields, "INDICATION=", indication);
  return RunHttpQueryStage(kStaticAuthenPath, fields);
}
