#pragma once
// The ANSI code page of the engine's byte strings: code page 936 on the target
// systems. Windows asks the system (GetACP); Linux converts with iconv, taking
// the code page from VOKA_CODEPAGE (default 936). SetAnsiCodePage overrides
// both. All functions are thread-safe.

#include <cstdint>
#include <string>

// GB18030, which holds every character, as UTF-8 does.
constexpr unsigned kGb18030CodePage = 54936;

// The code page in use: the one set by SetAnsiCodePage, else the system's.
unsigned AnsiCodePage();

// Overrides the code page for the whole process; 0 returns to the system's.
void SetAnsiCodePage(unsigned codePage);

// Whether texts can be converted from and to codePage on this system.
bool IsAnsiCodePageAvailable(unsigned codePage);

// Converts exactly these two bytes as MultiByteToWideChar would; false when
// they do not form one character that fits one UTF-16 code unit.
bool AnsiPairToUtf16(unsigned char lead, unsigned char trail, uint16_t& unit);

// Whole texts, for text that leaves or enters the process. Bytes that do not
// form a character of the code page become U+FFFD; characters the code page
// lacks become '?'.
std::string AnsiToUtf8Text(const std::string& ansi);
std::string Utf8ToAnsiText(const std::string& utf8);

// The text in the code page with nothing substituted; false when
// the code page lacks one of its characters or the text is not UTF-8.
bool Utf8ToAnsiExactText(const std::string& utf8, std::string& ansi);
