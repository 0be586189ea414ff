#include "programs/voka-server/account_file.h"

#include <gtest/gtest.h>

namespace {

// An account line whose card has the given size, every cell "1".
std::string CardAccount(size_t columns, size_t rows) {
  std::string row(2 * columns - 1, ',');
  for (size_t i = 0; i < row.size(); i += 2) row[i] = '1';
  std::string card = row;
  for (size_t i = 1; i < rows; ++i) card += "/" + row;
  return "u p card=" + card + "\n";
}

TEST(AccountFile, TheSampleAccounts) {
  AccountBook book;
  std::string error;
  ASSERT_EQ(LoadAccountFile(VOKA_SAMPLE_ACCOUNTS, book, error), 0) << error;
  ASSERT_EQ(book.size(), 4u);
  EXPECT_EQ(book.at("alice").password, "alice-pass");
  EXPECT_EQ(book.at("bob").ekeySecret, "626f622d746f6b656e2d736563726574");
  EXPECT_EQ(book.at("张三").password, "密码 123");
  const MatrixCard& card = book.at("carol").card;
  std::string cell;
  ASSERT_TRUE(card.Cell("B3", cell));
  EXPECT_EQ(cell, "57");
  ASSERT_TRUE(card.Cell("E5", cell));
  EXPECT_EQ(cell, "75");
  EXPECT_FALSE(card.Cell("F1", cell));
  EXPECT_FALSE(card.Cell("A6", cell));
  EXPECT_FALSE(card.Cell("A0", cell));
  EXPECT_FALSE(card.Cell("a1", cell));
  EXPECT_EQ(MatrixCard::Position(1, 2), "B3");
}

TEST(AccountFile, TheLargestCardIsReachedByItsLastPosition) {
  AccountBook book;
  std::string error;
  ASSERT_EQ(ParseAccountText(CardAccount(kMaxCardColumns, kMaxCardRows), book, error), 0) << error;
  const MatrixCard& card = book.at("u").card;
  std::string cell;
  EXPECT_EQ(MatrixCard::Position(kMaxCardColumns - 1, kMaxCardRows - 1), "Z99");
  EXPECT_TRUE(card.Cell("Z99", cell));
}

TEST(AccountFile, QuotedFields) {
  AccountBook book;
  std::string error;
  ASSERT_EQ(ParseAccountText("  # comment\n\n\"a b\"\t\"p \\\"q\\\" \\\\\"  ekey=5A\r\n", book, error), 0) << error;
  EXPECT_EQ(book.at("a b").password, "p \"q\" \\");
  EXPECT_EQ(book.at("a b").ekeySecret, "5A");
  ASSERT_EQ(ParseAccountText("\xEF\xBB\xBF"
                             "alice pw\n",
                             book, error),
            0)
      << error;
  EXPECT_EQ(book.at("alice").password, "pw");
}

TEST(AccountFile, ErrorsNameTheLine) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"u p\nlonely\n", "line 2: an account needs"},
      {"u p\nu q\n", "line 2: user id 'u' appears twice"},
      {"u p ekey=\n", "empty e-key secret"},
      {"u p ekey=0a card=1\n", "at most one"},
      {"u p ekey=bob-secret\n", "not an even number of hex digits"},
      {"u p ekey=abc\n", "not an even number of hex digits"},
      {"u p card=1,2/3\n", "different lengths"},
      {"u p card=1,,2\n", "empty cell"},
      {CardAccount(kMaxCardColumns + 1, 1), "larger than 26 columns by 99 rows"},
      {CardAccount(1, kMaxCardRows + 1), "larger than 26 columns by 99 rows"},
      {"u p colour=red\n", "unknown field 'colour=red'"},
      {"\"u p\n", "unterminated quote"},
  };
  for (const auto& [text, reason] : cases) {
    AccountBook book;
    std::string error;
    EXPECT_EQ(ParseAccountText(text, book, error), 1) << text;
    EXPECT_NE(error.find(reason), std::string::npos) << error;
  }
}

}  // namespace
