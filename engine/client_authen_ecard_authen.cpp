// E-card login: the answer read from the printed matrix card.
#include <string>
#include <vector>

#include "engine/request_values.h"
#include "protocol/field_names.h"
#include "voka/client_authen.h"

RequestValues ECardAuthenValues(const char* userId, const char* ecardPwd, const std::string& appId,
                                const std::string& areaId, const std::string& guid, const char* indication) {
  return {{kFieldUserId, userId},         {kFieldECardAnswer, ecardPwd}, {kFieldAppId, appId.c_str()},
          {kFieldAreaId, areaId.c_str()}, {kFieldGuid, guid.c_str()},    {kFieldIndication, indication}};
}

int CClientAuthen::ECardAuthen(const char* userId, const char* ecardPwd, const char* indication) {
  try {
    BeginRequest();
    return m_bUseUdp ? ECardAuthenUdp(userId, ecardPwd, m_strAppId, m_strAreaId, indication)
                     : ECardAuthenHttp(userId, ecardPwd, m_strAppId, m_strAreaId, indication);
  } catch (...) {
    NoteCause(m_eLastStage, VOKA_CAUSE_OUT_OF_MEMORY);
    return AUTHEN_E_FAIL;
  }
}

int CClientAuthen::ECardAuthenUdp(const char* userId, const char* ecardPwd, const std::string& appId,
                                  const std::string& areaId, const char* indication) {
  return RunUdpStage(RequestKind::kECardLogin,
                     ECardAuthenValues(userId, ecardPwd, appId, areaId, m_strGuid, indication));
}

int CClientAuthen::ECardAuthenHttp(const char* userId, const char* ecardPwd, const std::string& appId,
                                   const std::string& areaId, const char* indication) {
  return RunHttpQueryStage(RequestKind::kECardLogin,
                           ECardAuthenValues(userId, ecardPwd, appId, areaId, m_strGuid, indication));
}
