// The certificate chain and private key of voka-server's https service, read
// at start so that a missing file is named before anything listens.
#pragma once

#include <string>

struct TlsCredentials {
  std::string certificatePem;  // the certificate, followed by any intermediates
  std::string keyPem;
};

// 0 once both PEM files are read; 1 and "PATH: reason" otherwise.
int LoadTlsCredentials(const std::string& certificatePath, const std::string& keyPath, TlsCredentials& credentials,
                       std::string& error);
