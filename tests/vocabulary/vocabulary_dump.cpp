// Prints the protocol's vocabulary as the code holds it, as one JSON object
// whose keys name the C++ tables and constants, for check_vocabulary.py to
// compare with the dissector and the documents.
//
// The cipher's start key is private to it, so it cannot be printed: each
// argument is a start key in hex that a copy claims, and "MakeKey start
// keys" lists those from which the pass phrase derives the key the cipher
// derives.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "voka/codec/d3_wrapper.h"
#include "voka/codec/seal_param.h"
#include "voka/failure_cause.h"
#include "voka/limits.h"
#include "voka/protocol/answer_codes.h"
#include "voka/protocol/request_kinds.h"
#include "voka/protocol/result_code_table.h"
#include "voka/transport/datagram_header.h"

namespace {

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

std::string Fields(const RequestField* list) {
  std::string names;
  for (size_t i = 0; i < kMaxRequestFields && list[i].name != nullptr; ++i) {
    names += (names.empty() ? "" : ", ") + Quoted(list[i].name);
  }
  return "[" + names + "]";
}

// An HTTP request has a query when it carries a field whatever the host passes.
bool AlwaysHasQuery(const RequestField* list) {
  for (size_t i = 0; i < kMaxRequestFields && list[i].name != nullptr; ++i) {
    if (list[i].use != FieldUse::kOptional) return true;
  }
  return false;
}

std::string Requests() {
  std::string rows;
  for (const RequestKindRow& row : AllRequestKinds()) {
    rows += std::string(rows.empty() ? "" : ",\n    ") + "{\"name\": " + Quoted(row.name) +
            ", \"command\": " + std::to_string(row.udpCommand) + ", \"path\": " + Quoted(row.httpPath) +
            ", \"query\": " + (AlwaysHasQuery(row.httpFields) ? "true" : "false") +
            ", \"udp_fields\": " + Fields(row.udpFields) + ", \"http_fields\": " + Fields(row.httpFields) + "}";
  }
  return "[\n    " + rows + "]";
}

std::string Causes() {
  std::string rows;
  for (int cause = 0; cause < VOKA_CAUSE_COUNT; ++cause) {
    rows += std::string(rows.empty() ? "" : ",\n    ") + "{\"number\": " + std::to_string(cause) +
            ", \"name\": " + Quoted(FailureCauseName(cause)) + "}";
  }
  return "[\n    " + rows + "]";
}

std::string ResultCodes() {
  std::string rows;
  for (const ResultCodeEntry& entry : ResultCodeTable()) {
    rows += std::string(rows.empty() ? "" : ",\n    ") + "{\"source\": \"" +
            (entry.source == ResultSource::kRequest ? "request" : "GetValue") +
            "\", \"code\": " + std::to_string(entry.code) + ", \"name\": " + Quoted(entry.name) +
            ", \"meaning\": " + Quoted(entry.meaning) + "}";
  }
  return "[\n    " + rows + "]";
}

std::string AnswerCodes() {
  std::string rows;
  for (const AnswerCodeEntry& entry : AnswerCodeTable()) {
    rows += std::string(rows.empty() ? "" : ",\n    ") + "{\"code\": " + std::to_string(entry.code) +
            ", \"name\": " + Quoted(entry.name) + ", \"message\": " + Quoted(entry.message) + "}";
  }
  return "[\n    " + rows + "]";
}

// The smallest dwLength that no reader accepts.
unsigned LengthLimit() {
  UDP_HEADER header{};
  while (HeaderFitsPacket(header, kUdpHeaderSize)) ++header.dwLength;
  return header.dwLength;
}

// Whether the pass phrase, XORed into startHex and encrypted under it as
// MakeKey does, gives the key that MakeKey gives.
bool IsStartKey(const std::string& startHex) {
  unsigned char start[CD3Wrapper::kBlockBytes];
  if (startHex.size() != 2 * sizeof start) return false;
  for (size_t i = 0; i < sizeof start; ++i) {
    const std::string pair = startHex.substr(2 * i, 2);
    char* end = nullptr;
    start[i] = static_cast<unsigned char>(std::strtoul(pair.c_str(), &end, 16));
    if (end != pair.c_str() + 2) return false;
  }
  unsigned char claimed[sizeof start];
  std::memcpy(claimed, start, sizeof start);
  for (size_t i = 0; i < sizeof kSealPassPhrase - 1; ++i) claimed[i] ^= kSealPassPhrase[i] & 0x7F;
  CD3Wrapper cipher;
  cipher.SetKey(start, 0);
  cipher.CryptBlock(claimed, claimed);

  char phrase[sizeof kSealPassPhrase];
  std::memcpy(phrase, kSealPassPhrase, sizeof phrase);
  unsigned char derived[sizeof start];
  cipher.MakeKey(phrase, derived);
  return std::memcmp(claimed, derived, sizeof derived) == 0;
}

std::string StartKeys(int count, char** candidates) {
  std::string keys;
  for (int i = 0; i < count; ++i) {
    if (IsStartKey(candidates[i])) keys += (keys.empty() ? "" : ", ") + Quoted(candidates[i]);
  }
  return "[" + keys + "]";
}

}  // namespace

int main(int argc, char** argv) {
  std::printf(
      "{\n  \"AllRequestKinds\": %s,\n  \"FailureCauseName\": %s,\n"
      "  \"ResultCodeTable\": %s,\n  \"AnswerCodeTable\": %s,\n"
      "  \"kUdpHeaderSize\": %d,\n  \"kDefaultUdpPort\": %d,\n  \"kLargestRequestDatagram\": %zu,\n"
      "  \"kUdpAnswerLimit\": %u,\n  \"HeaderFitsPacket dwLength limit\": %u,\n  \"kSealPassPhrase\": %s,\n"
      "  \"MakeKey start keys\": %s\n}\n",
      Requests().c_str(), Causes().c_str(), ResultCodes().c_str(), AnswerCodes().c_str(), kUdpHeaderSize,
      kDefaultUdpPort, kLargestRequestDatagram, kUdpAnswerLimit, LengthLimit(), Quoted(kSealPassPhrase).c_str(),
      StartKeys(argc - 1, argv + 1).c_str());
  return 0;
}
