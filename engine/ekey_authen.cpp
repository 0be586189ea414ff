// E-key login: the token password the host obtained, with the application,
// area and GUID the engine kept from earlier calls.
#include <string>
#include <vector>

#include "codec/str_coding.h"
#include "engine/request_text.h"
#include "voka/client_authen.h"

namespace {

constexpr uint16_t kEkeyAuthenCommand = 0xC600;
constexpr char kEkeyAuthenPath[] = "/Login.Validate.Dynamic?";

}  // namespace

int CClientAuthen::EKeyAuthen(const char* userId, const char* ekeyPwd, const char* ekeyType,
                              const char* indication) {
  try {
    return m_bUseUdp
               ? EKeyAuthenUdp(userId, ekeyPwd, m_strAppId, m_strAreaId, ekeyType, indication)
               : EKeyAuthenHttp(userId, ekeyPwd, m_strAppId, m_strAreaId, ekeyType, indication);
  } catch (...) {
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::EKeyAuthenUdp(const char* userId, const char* ekeyPwd,
                                 const std::string& appId, const std::string& areaId,
                                 const char* ekeyType, const char* indication) {
  std::vector<std::string> fields = {
      "USERID=" + TextOf(userId), "EKEYPWD=" + TextOf(ekeyPwd), "EKEYTYPE=" + TextOf(ekeyType),
      "APPID=" + appId,           "AREAID=" + areaId,           "GUID=" + m_strGuid,
  };
  AppendOptionalField(fields, "INDICATION=", indication);
  return RunUdpStage(kEkeyAuthenCommand, fields);
}

int CClientAuthen::EKeyAuthenHttp(const char* userId, const char* ekeyPwd,
                                  const std::string& appId, const std::string& areaId,
                                  const char* ekeyType, const char* indication) {
  std::vector<std::string> fields = {
      "USERID=" + g_StrCoding.UrlEncode(TextOf(userId).c_str()),
      "EKEYPWD=" + g_StrCoding.UrlEncode(TextOf(ekeyPwd).c_str()),
      "EKEYTYPE=" + EscapeQueryValue(TextOf(ekeyType)),
      "APPID=" + EscapeQueryValue(appId),
      "AREAID=" + EscapeQueryValue(areaId),
      "GUID=" + EscapeQueryValue(m_strGuid),
  };
  AppendOptionalQueryField(fields, "INDICATION=", indication);
  return RunHttpQueryStage(kEkeyAuthenPath, fields);
}
