// Messages the engine writes under "DESCMSG", as code page 936 bytes: the
// host reads them back unchanged whatever code page the engine runs in.
#pragma once

// "网络连接出错" (network connection error), 12 bytes.
inline constexpr char kNetworkErrorMessage[] = "\xCD\xF8\xC2\xE7\xC1\xAC\xBD\xD3\xB3\xF6\xB4\xED";

// "USB安令初始化失败,请检查是否插好" (USB token initialisation failed, check
// that it is plugged in), 32 bytes.
inline constexpr char kUsbTokenErrorMessage[] =
    "USB\xB0\xB2\xC1\xEE\xB3\xF5\xCA\xBC\xBB\xAF\xCA\xA7\xB0\xDC"
    ",\xC7\xEB\xBC\xEC\xB2\xE9\xCA\xC7\xB7\xF1\xB2\xE5\xBA\xC3";

// "服务器未提供USB安令挑战码" (the server gave no USB token challenge), 25
// bytes: the answer asked for the token without a challenge it can answer.
inline constexpr char kNoChallengeMessage[] =
    "\xB7\xFE\xCE\xF1\xC6\xF7\xCE\xB4\xCC\xE1\xB9\xA9USB\xB0\xB2\xC1\xEE\xCC\xF4\xD5\xBD\xC2\xEB";

// "请求参数中含有分隔符^$^" (a request parameter contains the separator
// ^$^), 23 bytes: such a value would add fields to the sealed text.
inline constexpr char kSeparatorInValueMessage[] =
    "\xC7\xEB\xC7\xF3\xB2\xCE\xCA\xFD\xD6\xD0\xBA\xAC\xD3\xD0\xB7\xD6\xB8\xF4\xB7\xFB"
    "^$^";

// "参数中含有代码页无法表示的字符" (an argument holds a character that the
// code page cannot represent), 30 bytes: sent changed, it would be another
// password.
inline constexpr char kTextNotInCodePageMessage[] =
    "\xB2\xCE\xCA\xFD\xD6\xD0\xBA\xAC\xD3\xD0\xB4\xFA\xC2\xEB\xD2\xB3\xCE\xDE\xB7\xA8"
    "\xB1\xED\xCA\xBE\xB5\xC4\xD7\xD6\xB7\xFB";
