// The values a login request sends: those its caller gives, and for every
// other field of the kind's row what the login holds (the GUID, the
// application and area the account login named) or what the machine is (its
// IP and MAC address). The engine and bench's load client both complete
// their requests here, so both send the same.
#pragma once

#include <string>

#include "voka/codec/machine_identity.h"
#include "voka/engine/request_text.h"

// What a login carries from one request to the next.
struct LoginContext {
  std::string guid;
  std::string appId;
  std::string areaId;
};

// given, then each field of kind's rows that given does not name. The
// result points into given and context: it lives no longer than they do.
RequestValues CompleteRequestValues(RequestKind kind, const RequestValues& given, const LoginContext& context,
                                    const MachineIdentity& identity);

// Whether a request of kind sends the machine's identity: only then is it read.
bool SendsMachineIdentity(RequestKind kind);
