#include "programs/voka-server/server_messages.h"

#include "voka/limits.h"

// The refusals name their waits: a wait changed here changes their text.
static_assert(kFactorLockTime == std::chrono::minutes(5), "kRetFactorLocked's message says 5 minutes");
static_assert(kPasswordWait == std::chrono::minutes(1), "kRetPasswordsWait's message says 1 minute");

const char* ServerMessage(int retValue) {
  switch (retValue) {
    case kRetSuccess: return "登录成功";
    case kRetMissingField: return "请求参数不完整";
    case kRetBadDynamicKey: return "动态密钥无效或已过期,请重新获取";
    case kRetUnknownUser: return "用户不存在";
    case kRetWrongPassword: return "密码错误";
    case kRetFactorNotBound: return "该账号未绑定此验证方式";
    case kRetNoPendingFactor: return "请先进行账号登录";
    case kRetWrongEKeyPassword: return "USB安令密码错误";
    case kRetWrongECardAnswer: return "密保卡答案错误";
    case kRetUnknownRequest: return "未知的请求";
    case kRetFactorLocked: return "二次验证错误次数过多,请5分钟后再试";
    case kRetPasswordsWait: return "密码错误次数过多,请1分钟后再试";
    case kRetBusy: return "服务器繁忙,请稍后再试";
    case kRetForeignDynamicKey: return "动态密钥不属于此地址,请重新获取";
    default: return "未知错误";
  }
}
