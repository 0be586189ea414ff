// The account file of voka-server. One account a line, fields separated by
// blanks or tabs, UTF-8:
//   USERID PASSWORD [ekey=SECRET | card=ROW/ROW/...]
// A field may be written in double quotes to hold blanks (\" and \\ inside).
// ROW/ROW/... is the matrix card as second_factor/matrix_card.h writes it.
// Blank lines and lines whose first non-blank character is '#' are skipped.
#pragma once

#include <map>
#include <string>

#include "voka/second_factor/matrix_card.h"

struct Account {
  std::string userId;
  std::string password;
  std::string ekeySecret;  // non-empty: the account needs the USB token
  MatrixCard card;         // non-empty: the account needs the matrix card
};

using AccountBook = std::map<std::string, Account>;

// 0 when every line is valid; otherwise 1 and "line N: reason".
int ParseAccountText(const std::string& text, AccountBook& book, std::string& error);
// 0 when read and valid; otherwise 1 and "PATH: reason" or "PATH:N: reason".
int LoadAccountFile(const std::string& path, AccountBook& book, std::string& error);
