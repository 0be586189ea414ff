// The verdicts an account server answers under RETVALUE, as voka-server
// gives them: their numbers, their names for bindings and logs, and the
// DESCMSG texts that go with them. The engine's own result codes are in
// protocol/result_code_table.h. Texts are UTF-8 here; voka-server sends them
// in the protocol's code page.
#pragma once

#include <vector>

enum ServerRetValue {
  kRetSuccess = 0,
  kRetMissingField = 1001,   // a field the request needs is absent or empty
  kRetBadDynamicKey = 1002,  // GUID unknown, expired, or none requested
  kRetUnknownUser = 1003,
  kRetWrongPassword = 1004,
  kRetFactorNotBound = 1005,   // e-key or e-card login for an account without one
  kRetNoPendingFactor = 1006,  // e-key or e-card login without a static login before it
  kRetWrongEKeyPassword = 1007,
  kRetWrongECardAnswer = 1008,
  kRetUnknownRequest = 1010,     // unknown HTTP path
  kRetFactorLocked = 1011,       // too many wrong e-key or card answers: the second factor waits
  kRetPasswordsWait = 1012,      // too many wrong passwords from this address: its account logins wait
  kRetBusy = 1013,               // the dynamic-key store is full of keys just issued
  kRetForeignDynamicKey = 1014,  // a static login whose GUID was issued to another address
};

struct AnswerCodeEntry {
  int code;
  const char* name;     // "MISSING_FIELD": the code's name in bindings (Python's voka.Code)
  const char* message;  // DESCMSG of an answer with this RETVALUE
};

// Every code above, in the order of their numbers.
const std::vector<AnswerCodeEntry>& AnswerCodeTable();

// The DESCMSG of retValue; "未知错误" (unknown error) for a number the table lacks.
const char* ServerMessage(int retValue);

constexpr const char* kMessageDynamicKeyIssued = "动态密钥已生成";
constexpr const char* kMessageEnterEKey = "请输入USB安令密码";
constexpr const char* kMessageEnterECardPrefix = "请输入密保卡坐标";
constexpr const char* kMessageEnterECardSuffix = "上的数字";
