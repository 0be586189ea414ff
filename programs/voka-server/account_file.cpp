#include "voka-server/account_file.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "voka/second_factor/ocra_response.h"

namespace {

// Editors on Windows start UTF-8 files with it.
constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// Splits a line into fields; false with a reason for an unterminated quote.
bool SplitFields(const std::string& line, std::vector<std::string>& fields, std::string& error) {
  size_t at = 0;
  while (true) {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r')) ++at;
    if (at >= line.size()) return true;
    std::string field;
    if (line[at] == '"') {
      ++at;
      bool closed = false;
      while (at < line.size()) {
        char c = line[at++];
        if (c == '"') {
          closed = true;
          break;
        }
        if (c == '\\' && at < line.size()) c = line[at++];
        field += c;
      }
      if (!closed) {
        error = "unterminated quote";
        return false;
      }
    } else {
      while (at < line.size() && line[at] != ' ' && line[at] != '\t' && line[at] != '\r') field += line[at++];
    }
    fields.push_back(field);
  }
}

bool ParseAccountLine(const std::vector<std::string>& fields, Account& account, std::string& error) {
  if (fields.size() < 2) {
    error = "an account needs a user id and a password";
    return false;
  }
  account.userId = fields[0];
  account.password = fields[1];
  if (account.userId.empty()) {
    error = "empty user id";
    return false;
  }
  for (size_t i = 2; i < fields.size(); ++i) {
    const std::string& option = fields[i];
    if (!account.ekeySecret.empty() || !account.card.Empty()) {
      error = "an account has at most one of ekey= and card=";
      return false;
    }
    if (option.compare(0, 5, "ekey=") == 0) {
      account.ekeySecret = option.substr(5);
      std::string key;
      if (account.ekeySecret.empty()) {
        error = "empty e-key secret";
        return false;
      }
      if (!DecodeHexSecret(account.ekeySecret, key)) {
        error = "e-key secret is not an even number of hex digits";
        return false;
      }
    } else if (option.compare(0, 5, "card=") == 0) {
      if (ParseMatrixCard(option.substr(5), account.card, error) != 0) return false;
    } else {
      error = "unknown field '" + option + "' (expected ekey=SECRET or card=ROWS)";
      return false;
    }
  }
  return true;
}

}  // namespace

int ParseAccountText(const std::string& text, AccountBook& book, std::string& error) {
  const bool marked = text.compare(0, sizeof kUtf8ByteOrderMark - 1, kUtf8ByteOrderMark) == 0;
  std::istringstream lines(marked ? text.substr(sizeof kUtf8ByteOrderMark - 1) : text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    std::vector<std::string> fields;
    Account account;
    std::string reason;
    if (!SplitFields(line, fields, reason) || !ParseAccountLine(fields, account, reason)) {
      error = "line " + std::to_string(number) + ": " + reason;
      return 1;
    }
    if (book.count(account.userId)) {
      error = "line " + std::to_string(number) + ": user id '" + account.userId + "' appears twice";
      return 1;
    }
    book[account.userId] = account;
  }
  return 0;
}

int LoadAccountFile(const std::string& path, AccountBook& book, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    error = path + ": cannot be read";
    return 1;
  }
  std::ostringstream text;
  text << file.rdbuf();
  if (ParseAccountText(text.str(), book, error) != 0) {
    error = path + ":" + error.substr(5);
    return 1;
  }
  return 0;
}
