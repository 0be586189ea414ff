// E-card login: the answer read from the printed matrix card. The UDP text
// sends GUID third, the HTTP query fifth; the servers expect exactly that.
#include <string>
#include <vector>

#include "codec/str_coding.h"
#include "engine/request_text.h"
#include "voka/client_authen.h"

namespace {

constexpr uint16_t kEcardAuthenCommand = 0xAD00;
constexpr char kEcardAuthenPath[] = "/Login.Validate.ECard?";

}  // namespace

int CClientAuthen::ECardAuthen(const char* userId, const char* ecardPwd, const char* indication) {
  try {
    return m_bUseUdp ? ECardAuthenUdp(userId, ecardPwd, m_strAppId, m_strAreaId, indication)
                     : ECardAuthenHttp(userId, ecardPwd, m_strAppId, m_strAreaId, indication);
  } catch (...) {
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::ECardAuthenUdp(const char* userId, const char* ecardPwd,
                                  const std::string& appId, const std::string& areaId,
                                  const char* indication) {
  std::vector<std::string> fields = {
      "USERID=" + TextOf(userId), "ECARDPWD=" + TextOf(ecardPwd), "GUID=" + m_strGuid,
      "APPID=" + appId,           "AREAID=" + areaId,
  };
  AppendOptionalField(fields, "INDICATION=", indication);
  return RunUdpStage(kEcardAuthenCommand, fields);
}

int CClientAuthen::ECardAuthenHttp(const char* userId, const char* ecardPwd,
                                   const std::string& appId, const std::string& areaId,
                                   const char* indication) {
  std::vector<std::string> fields = {
      "USERID=" + g_StrCoding.UrlEncode(TextOf(userId).c_str()),
      "ECARDPWD=" + g_StrCoding.UrlEncode(TextOf(ecardPwd).c_str()),
      "APPID=" + EscapeQueryValue(appId),
      "AREAID=" + EscapeQueryValue(areaId),
      "GUID=" + EscapeQueryValue(m_strGuid),
  };
  AppendOptionalQueryField(fields, "INDICATION=", indication);
  return RunHttpQueryStage(kEcardAuthenPath, fields);
}
