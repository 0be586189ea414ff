#include "voka-server/tls_credentials.h"

#include <fstream>
#include <sstream>

namespace {

bool ReadPem(const std::string& path, std::string& text, std::string& error) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  if (!file || !(content << file.rdbuf()) || content.str().find("-----BEGIN ") == std::string::npos) {
    error = path + ": cannot be read as PEM";
    return false;
  }
  text = content.str();
  return true;
}

}  // namespace

int LoadTlsCredentials(const std::string& certificatePath, const std::string& keyPath, TlsCredentials& credentials,
                       std::string& error) {
  return ReadPem(certificatePath, credentials.certificatePem, error) && ReadPem(keyPath, credentials.keyPem, error) ? 0
                                                                                                                    : 1;
}
