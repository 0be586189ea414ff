// The account file of voka-server. One account a line, fields separated by
// blanks or tabs, UTF-8:
//   USERID PASSWORD [ekey=SECRET | card=ROW/ROW/...]
// A field may be written in double quotes to hold blanks (\" and \\ inside).
// A ROW is the matrix card's cells from column A on, separated by ','.
// Blank lines and lines whose first non-blank character is '#' are skipped.
#pragma once

#include <map>
#include <string>
#include <vector>

struct MatrixCard {
  std::vector<std::vector<std::string>> rows;  // rows[row][column]

  bool Empty() const { return rows.empty(); }
  size_t Columns() const { return rows.empty() ? 0 : rows[0].size(); }
  // The cell at a position such as "B3" (column letter, 1-based row).
  bool Cell(const std::string& position, std::string& cell) const;
  // Position text of a cell, e.g. column 1, row 2 -> "B3".
  static std::string Position(size_t column, size_t row);
};

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
