#include "voka/protocol/answer_codes.h"

const std::vector<AnswerCodeEntry>& AnswerCodeTable() {
  static const std::vector<AnswerCodeEntry> table = {
      {kRetSuccess, "OK", "登录成功"},
      {kRetMissingField, "MISSING_FIELD", "请求参数不完整"},
      {kRetBadDynamicKey, "BAD_DYNAMIC_KEY", "动态密钥无效或已过期,请重新获取"},
      {kRetUnknownUser, "UNKNOWN_USER", "用户不存在"},
      {kRetWrongPassword, "WRONG_PASSWORD", "密码错误"},
      {kRetFactorNotBound, "FACTOR_NOT_BOUND", "该账号未绑定此验证方式"},
      {kRetNoPendingFactor, "NO_PENDING_FACTOR", "请先进行账号登录"},
      {kRetWrongEKeyPassword, "WRONG_EKEY_PASSWORD", "USB安令密码错误"},
      {kRetWrongECardAnswer, "WRONG_ECARD_ANSWER", "密保卡答案错误"},
      {kRetUnknownRequest, "UNKNOWN_REQUEST", "未知的请求"},
      {kRetFactorLocked, "FACTOR_LOCKED", "二次验证错误次数过多,请5分钟后再试"},
      {kRetPasswordsWait, "PASSWORDS_WAIT", "密码错误次数过多,请1分钟后再试"},
      {kRetBusy, "BUSY", "服务器繁忙,请稍后再试"},
      {kRetForeignDynamicKey, "FOREIGN_DYNAMIC_KEY", "动态密钥不属于此地址,请重新获取"},
  };
  return table;
}

const char* ServerMessage(int retValue) {
  for (const AnswerCodeEntry& entry : AnswerCodeTable()) {
    if (entry.code == retValue) return entry.message;
  }
  return "未知错误";
}
