// The matrix card: a grid of secret cells, one of which a login is asked for
// by its position, e.g. "B3" (column letter, 1-based row). Written as its
// rows from the first on, separated by '/', each row's cells from column A
// on, separated by ','.
#pragma once

#include <string>
#include <vector>

// A position names its column by one letter and its row by at most two digits.
constexpr size_t kMaxCardColumns = 26;
constexpr size_t kMaxCardRows = 99;

struct MatrixCard {
  std::vector<std::vector<std::string>> rows;  // rows[row][column]

  bool Empty() const { return rows.empty(); }
  size_t Columns() const { return rows.empty() ? 0 : rows[0].size(); }
  // The cell at a position such as "B3".
  bool Cell(const std::string& position, std::string& cell) const;
  // Position text of a cell, e.g. column 1, row 2 -> "B3".
  static std::string Position(size_t column, size_t row);
};

// 0 with the card its text writes; otherwise 1 and the reason, card untouched.
int ParseMatrixCard(const std::string& text, MatrixCard& card, std::string& error);
