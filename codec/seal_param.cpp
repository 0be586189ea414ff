#include "voka/codec/seal_param.h"

#include <climits>
#include <cstring>
#include <memory>

#include "codec/base64.h"
#include "voka/codec/d3_wrapper.h"

namespace {

constexpr size_t kKeySize = 24;

// Derives the key of passPhrase and installs it in cipher for mode (0 seal, 1 open).
void InstallPassPhrase(CD3Wrapper& cipher, const char* passPhrase, short mode) {
  // MakeKey zeroes the characters it consumes, so it gets a private copy.
  char phrase[kKeySize] = {};
  if (passPhrase != nullptr) {
    std::strncpy(phrase, passPhrase, kKeySize - 1);
  }
  unsigned char key[kKeySize] = {};
  cipher.MakeKey(phrase, key);
  cipher.SetKey(key, mode);
}

// Runs the installed cipher over length bytes.
bool RunCipher(CD3Wrapper& cipher, const unsigned char* data, size_t length, std::string& result) {
  if (length > static_cast<size_t>(INT_MAX) - kKeySize) {
    return false;
  }
  static const unsigned char kNoData = 0;
  unsigned char* output = nullptr;
  const int count = cipher.Crypt(length > 0 ? data : &kNoData, static_cast<int>(length), &output);
  std::unique_ptr<unsigned char[]> owned(output);
  if (count < 0) {
    return false;
  }
  result.assign(reinterpret_cast<const char*>(owned.get()), count);
  return true;
}

bool SealWith(CD3Wrapper& sealer, const unsigned char* data, size_t length, std::string& sealed) {
  sealed.clear();
  try {
    std::string encrypted;
    if (!RunCipher(sealer, data, length, encrypted)) {
      return false;
    }
    // Base64Encode counts in an int: past its limit the text would be empty.
    if (encrypted.size() > static_cast<size_t>(kBase64EncodeMaxLength)) {
      return false;
    }
    std::string text(4 * ((encrypted.size() + 2) / 3) + 1, '\0');
    const int written = Base64Encode(reinterpret_cast<const unsigned char*>(encrypted.data()),
                                     static_cast<int>(encrypted.size()), &text[0]);
    text.resize(written - 1);
    sealed.swap(text);
    return true;
  } catch (...) {
    sealed.clear();
    return false;
  }
}

bool OpenWith(CD3Wrapper& opener, const char* base64, size_t length, std::string& text) {
  try {
    std::string encrypted;
    if (base64 == nullptr || !Base64Decode(base64, length, encrypted)) {
      return false;
    }
    return RunCipher(opener, reinterpret_cast<const unsigned char*>(encrypted.data()), encrypted.size(), text);
  } catch (...) {
    return false;
  }
}

}  // namespace

bool SealParamText(const unsigned char* data, size_t length, const char* passPhrase, std::string& sealed) {
  CD3Wrapper sealer;
  InstallPassPhrase(sealer, passPhrase, 0);
  return SealWith(sealer, data, length, sealed);
}

void SealParam(const unsigned char* data, int length, const char* passPhrase, char* out) {
  if (out == nullptr) {
    return;
  }
  out[0] = '\0';
  std::string sealed;
  if (length < 0 || !SealParamText(data, static_cast<size_t>(length), passPhrase, sealed)) {
    return;
  }
  if (sealed.size() < kSealedBufferSize) {
    std::memcpy(out, sealed.c_str(), sealed.size() + 1);
  }
}

bool OpenSealedParam(const char* base64, size_t length, const char* passPhrase, std::string& text) {
  CD3Wrapper opener;
  InstallPassPhrase(opener, passPhrase, 1);
  return OpenWith(opener, base64, length, text);
}

CSealKey::CSealKey(const char* passPhrase) {
  InstallPassPhrase(m_sealer, passPhrase, 0);
  InstallPassPhrase(m_opener, passPhrase, 1);
}

bool CSealKey::Seal(const unsigned char* data, size_t length, std::string& sealed) {
  return SealWith(m_sealer, data, length, sealed);
}

bool CSealKey::Open(const char* base64, size_t length, std::string& text) {
  return OpenWith(m_opener, base64, length, text);
}
