#include "engine/request_values.h"

#include <cstring>

#include "voka/protocol/field_names.h"

namespace {

bool Names(const RequestValues& values, const char* name) {
  for (const RequestValue& value : values) {
    if (std::strcmp(value.name, name) == 0) return true;
  }
  return false;
}

// What the login or the machine holds for a field; null for a field only a caller gives.
const char* HeldValue(const char* name, const LoginContext& context, const MachineIdentity& identity) {
  const struct {
    const char* name;
    const std::string& value;
  } held[] = {{kFieldGuid, context.guid},
              {kFieldAppId, context.appId},
              {kFieldAreaId, context.areaId},
              {kFieldClientIp, identity.clientIp},
              {kFieldMac, identity.mac}};
  for (const auto& entry : held) {
    if (std::strcmp(entry.name, name) == 0) return entry.value.c_str();
  }
  return nullptr;
}

}  // namespace

RequestValues CompleteRequestValues(RequestKind kind, const RequestValues& given, const LoginContext& context,
                                    const MachineIdentity& identity) {
  RequestValues values = given;
  const RequestKindRow& row = RowOf(kind);
  for (const RequestField* list : {row.udpFields, row.httpFields}) {
    for (const RequestField* field = list; field->name != nullptr; ++field) {
      if (Names(values, field->name)) continue;
      const char* held = HeldValue(field->name, context, identity);
      if (held != nullptr) values.push_back({field->name, held});
    }
  }
  return values;
}

bool SendsMachineIdentity(RequestKind kind) {
  const RequestKindRow& row = RowOf(kind);
  for (const RequestField* list : {row.udpFields, row.httpFields}) {
    for (const RequestField* field = list; field->name != nullptr; ++field) {
      if (std::strcmp(field->name, kFieldClientIp) == 0 || std::strcmp(field->name, kFieldMac) == 0) return true;
    }
  }
  return false;
}
