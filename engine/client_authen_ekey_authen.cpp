// E-key login: the token password the host obtained, with the application,
// area and GUID the engine kept from earlier calls.
#include <string>
#include <vector>

#include "engine/request_values.h"
#include "protocol/field_names.h"
#include "voka/client_authen.h"

RequestValues EKeyAuthenValues(const char* userId, const char* ekeyPwd, const std::string& appId,
                               const std::string& areaId, const char* ekeyType, const std::string& guid,
                               const char* indication) {
  return {{kFieldUserId, userId},        {kFieldEKeyPassword, ekeyPwd},  {kFieldEKeyType, ekeyType},
          {kFieldAppId, appId.c_str()},  {kFieldAreaId, areaId.c_str()}, {kFieldGuid, guid.c_str()},
          {kFieldIndication, indication}};
}

int CClientAuthen::EKeyAuthen(const char* userId, const char* ekeyPwd, const char* ekeyType, const char* indication) {
  try {
    BeginRequest();
    return m_bUseUdp ? EKeyAuthenUdp(userId, ekeyPwd, m_strAppId, m_strAreaId, ekeyType, indication)
                     : EKeyAuthenHttp(userId, ekeyPwd, m_strAppId, m_strAreaId, ekeyType, indication);
  } catch (...) {
    NoteCause(m_eLastStage, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::EKeyAuthenUdp(const char* userId, const char* ekeyPwd, const std::string& appId,
                                 const std::string& areaId, const char* ekeyType, const char* indication) {
  return RunUdpStage(RequestKind::kEKeyLogin,
                     EKeyAuthenValues(userId, ekeyPwd, appId, areaId, ekeyType, m_strGuid, indication));
}

int CClientAuthen::EKeyAuthenHttp(const char* userId, const char* ekeyPwd, const std::string& appId,
                                  const std::string& areaId, const char* ekeyType, const char* indication) {
  return RunHttpQueryStage(RequestKind::kEKeyLogin,
                           EKeyAuthenValues(userId, ekeyPwd, appId, areaId, ekeyType, m_strGuid, indication));
}
