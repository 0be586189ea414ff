// The values each login request sends, under their field names: the engine's
// flows and voka-auth bench's load client build their requests from these.
#pragma once

#include <string>

#include "codec/machine_identity.h"
#include "engine/request_text.h"

RequestValues StaticAuthenValues(const char* userId, const char* pwd, const char* appId, const char* areaId,
                                 const char* checkCode, const char* indication, const std::string& guid,
                                 const MachineIdentity& identity);
RequestValues EKeyAuthenValues(const char* userId, const char* ekeyPwd, const std::string& appId,
                               const std::string& areaId, const char* ekeyType, const std::string& guid,
                               const char* indication);
RequestValues ECardAuthenValues(const char* userId, const char* ecardPwd, const std::string& appId,
                                const std::string& areaId, const std::string& guid, const char* indication);
