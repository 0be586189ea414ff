// Replays the independently computed sealing answers in seal.tsv: each line
// is operation, input text and expected result, separated by tabs.

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "codec/base64.h"
#include "voka/codec/d3_wrapper.h"

namespace {

struct VectorLine {
  int number;
  std::string operation;
  std::string input;
  std::string expected;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields(1);
  for (char c : line) {
    if (c == '\t') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// An absolute Unix path opens under Wine too: it resolves on the drive that
// maps the Unix root.
bool ReadVectors(const std::string& path, std::vector<VectorLine>& lines) {
  std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
  if (!file) return false;
  std::string content;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) content.append(chunk, got);

  int number = 0;
  size_t start = 0;
  while (start < content.size()) {
    size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() != 3) {
      ADD_FAILURE() << path << ":" << number << ": expected 3 tab-separated fields";
      continue;
    }
    lines.push_back({number, fields[0], fields[1], fields[2]});
  }
  return true;
}

std::string Hex(const unsigned char* bytes, size_t count) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string hex;
  for (size_t i = 0; i < count; ++i) {
    hex += kDigits[bytes[i] >> 4];
    hex += kDigits[bytes[i] & 0xF];
  }
  return hex;
}

std::string DerivedKeyHex(const std::string& phrase) {
  std::vector<char> writable(phrase.begin(), phrase.end());
  writable.push_back('\0');
  unsigned char key[24] = {};
  CD3Wrapper cipher;
  cipher.MakeKey(writable.data(), key);
  return Hex(key, sizeof key);
}

// The sealing pipeline: key from a private copy of "qpqp", encrypt, Base64.
std::string Seal(const std::string& text) {
  char phrase[24] = "qpqp";
  unsigned char key[24] = {};
  CD3Wrapper cipher;
  cipher.MakeKey(phrase, key);
  EXPECT_EQ(0, cipher.SetKey(key, 0));
  unsigned char* sealed = nullptr;
  const int count = cipher.Crypt(reinterpret_cast<const unsigned char*>(text.data()), int(text.size()), &sealed);
  EXPECT_GE(count, 0);
  std::vector<char> base64(4 * ((size_t(count) + 2) / 3) + 1);
  Base64Encode(sealed, count, base64.data());
  delete[] sealed;
  return base64.data();
}

TEST(SealVectorsTest, EveryLineMatches) {
  const std::string path = std::string(VOKA_VECTORS_DIR) + "/seal.tsv";
  std::vector<VectorLine> lines;
  ASSERT_TRUE(ReadVectors(path, lines)) << "cannot open " << path;
  int sealLines = 0;
  int keyLines = 0;
  for (const auto& line : lines) {
    SCOPED_TRACE("seal.tsv:" + std::to_string(line.number));
    if (line.operation == "MakeKey") {
      std::string expected = line.expected;
      for (char& c : expected) c = char(std::toupper(static_cast<unsigned char>(c)));
      EXPECT_EQ(DerivedKeyHex(line.input), expected);
      ++keyLines;
    } else if (line.operation == "SealParam") {
      EXPECT_EQ(Seal(line.input), line.expected);
      ++sealLines;
    } else {
      ADD_FAILURE() << "unknown operation " << line.operation;
    }
  }
  EXPECT_GE(keyLines, 1);
  EXPECT_GE(sealLines, 1);
}

}  // namespace
