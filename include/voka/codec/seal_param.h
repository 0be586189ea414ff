// Sealing of request parameters: Triple-DES under the key derived from a
// pass phrase, then Base64. The UDP requests carry the sealed text.
#pragma once

#include <cstddef>
#include <string>

#include "voka/codec/d3_wrapper.h"
#include "voka/limits.h"

// The Base64 characters a text of textLength bytes seals to, at most: the
// cipher fills the last 24-byte block, Base64 makes 4 of every 3 bytes.
constexpr size_t SealedTextLength(size_t textLength) {
  const size_t block = CD3Wrapper::kBlockBytes;
  return 4 * (((textLength + block - 1) / block * block + 2) / 3);
}

// The pass phrase of every request.
inline constexpr char kSealPassPhrase[] = "qpqp";

// Seals length bytes of data into sealed (replaced). False when sealing
// failed (out of memory); sealed is then empty.
bool SealParamText(const unsigned char* data, size_t length, const char* passPhrase, std::string& sealed);

// Writes the NUL-terminated sealed text into out (kSealedBufferSize bytes).
// A sealed text that would not fit with its NUL is not written: out then
// holds an empty text.
void SealParam(const unsigned char* data, int length, const char* passPhrase, char* out);

// Undoes SealParam: Base64-decodes and decrypts length characters of base64
// into text. False when the text is not Base64 or the cipher failed.
bool OpenSealedParam(const char* base64, size_t length, const char* passPhrase, std::string& text);

// The functions above derive the key and build its schedules for every text,
// and discard them after, as the engine does. A server or a load generator
// that seals and opens many texts keeps one of these instead: the same
// results, the schedules built once. One thread at a time.
class CSealKey {
 public:
  explicit CSealKey(const char* passPhrase);

  bool Seal(const unsigned char* data, size_t length, std::string& sealed);
  bool Open(const char* base64, size_t length, std::string& text);

 private:
  CD3Wrapper m_sealer;
  CD3Wrapper m_opener;
};
