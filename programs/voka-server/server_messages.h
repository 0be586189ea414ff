// RETVALUE codes and DESCMSG texts of voka-server. Texts are UTF-8 here; the
// answer builder sends them in code page 936.
#pragma once

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

const char* ServerMessage(int retValue);

constexpr const char* kMessageDynamicKeyIssued = "动态密钥已生成";
constexpr const char* kMessageEnterEKey = "请输入USB安令密码";
constexpr const char* kMessageEnterECardPrefix = "请输入密保卡坐标";
constexpr const char* kMessageEnterECardSuffix = "上的数字";
