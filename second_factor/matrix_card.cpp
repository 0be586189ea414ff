#include "voka/second_factor/matrix_card.h"

namespace {

std::vector<std::string> SplitOn(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  size_t start = 0;
  while (true) {
    size_t end = text.find(separator, start);
    pieces.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return pieces;
    start = end + 1;
  }
}

}  // namespace

bool MatrixCard::Cell(const std::string& position, std::string& cell) const {
  if (position.size() < 2 || position.size() > 3 || position[0] < 'A' || position[0] > 'Z') return false;
  size_t row = 0;
  for (size_t i = 1; i < position.size(); ++i) {
    if (position[i] < '0' || position[i] > '9') return false;
    row = row * 10 + static_cast<size_t>(position[i] - '0');
  }
  size_t column = static_cast<size_t>(position[0] - 'A');
  if (row == 0 || row > rows.size() || column >= Columns()) return false;
  cell = rows[row - 1][column];
  return true;
}

std::string MatrixCard::Position(size_t column, size_t row) {
  return std::string(1, static_cast<char>('A' + column)) + std::to_string(row + 1);
}

int ParseMatrixCard(const std::string& text, MatrixCard& card, std::string& error) {
  MatrixCard parsed;
  for (const std::string& rowText : SplitOn(text, '/')) {
    std::vector<std::string> row = SplitOn(rowText, ',');
    for (const std::string& cell : row) {
      if (cell.empty()) {
        error = "matrix card with an empty cell";
        return 1;
      }
    }
    if (!parsed.rows.empty() && row.size() != parsed.Columns()) {
      error = "matrix card rows of different lengths";
      return 1;
    }
    parsed.rows.push_back(row);
  }
  if (parsed.Columns() > kMaxCardColumns || parsed.rows.size() > kMaxCardRows) {
    error = "matrix card larger than " + std::to_string(kMaxCardColumns) + " columns by " +
            std::to_string(kMaxCardRows) + " rows";
    return 1;
  }
  card = parsed;
  return 0;
}
