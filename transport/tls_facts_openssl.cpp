#include "transport/tls_facts_openssl.h"

#include <openssl/asn1.h>
#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <ctime>
#include <mutex>
#include <string>

namespace {

// The context's slot that points to the request's facts.
int FactsSlot() {
  static int slot = -1;
  static std::once_flag once;
  std::call_once(once, [] { slot = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr); });
  return slot;
}

std::string NameText(const X509_NAME* name) {
  BIO* memory = BIO_new(BIO_s_mem());
  if (memory == nullptr) return "";
  std::string text;
  if (X509_NAME_print_ex(memory, name, 0, XN_FLAG_RFC2253) >= 0) {
    char* data = nullptr;
    const long length = BIO_get_mem_data(memory, &data);
    if (length > 0) text.assign(data, static_cast<size_t>(length));
  }
  BIO_free(memory);
  return text;
}

std::string TimeText(const ASN1_TIME* time) {
  std::tm parts{};
  if (ASN1_TIME_to_tm(time, &parts) != 1) return "";
  char text[32];
  return std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &parts) > 0 ? text : "";
}

const char* ProblemText(int error) {
  switch (error) {
    case X509_V_ERR_CERT_HAS_EXPIRED: return kCertificateExpired;
    case X509_V_ERR_CERT_NOT_YET_VALID: return kCertificateNotYetValid;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN: return kCertificateUntrusted;
    case X509_V_ERR_HOSTNAME_MISMATCH: return kCertificateForAnotherHost;
    default: return X509_verify_cert_error_string(error);
  }
}

// Called for each certificate of the chain as OpenSSL verifies it; records
// the server's own certificate and the first verification error, and
// leaves the verdict as it was.
int RecordVerification(int preverified, X509_STORE_CTX* store) {
  const auto* ssl = static_cast<const SSL*>(X509_STORE_CTX_get_ex_data(store, SSL_get_ex_data_X509_STORE_CTX_idx()));
  auto* facts =
      ssl == nullptr ? nullptr : static_cast<HttpFacts*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), FactsSlot()));
  if (facts == nullptr) return preverified;
  try {
    facts->tlsVersion = SSL_get_version(ssl);
    if (const X509* server = X509_STORE_CTX_get0_cert(store)) {
      facts->certificateSubject = NameText(X509_get_subject_name(server));
      facts->certificateIssuer = NameText(X509_get_issuer_name(server));
      facts->certificateExpiry = TimeText(X509_get0_notAfter(server));
    }
    if (!preverified && facts->certificateProblem.empty()) {
      facts->certificateProblem = ProblemText(X509_STORE_CTX_get_error(store));
    }
  } catch (...) {
    // Out of memory: the facts stay as far as they got; the handshake goes on.
  }
  return preverified;
}

CURLcode OnTlsContext(CURL*, void* context, void* facts) {
  auto* tls = static_cast<SSL_CTX*>(context);
  if (SSL_CTX_set_ex_data(tls, FactsSlot(), facts) == 1) {
    SSL_CTX_set_verify(tls, SSL_CTX_get_verify_mode(tls), RecordVerification);
  }
  return CURLE_OK;
}

}  // namespace

bool WatchTlsFacts(CURL* curl, HttpFacts* facts) {
  return FactsSlot() >= 0 && curl_easy_setopt(curl, CURLOPT_SSL_CTX_FUNCTION, OnTlsContext) == CURLE_OK &&
         curl_easy_setopt(curl, CURLOPT_SSL_CTX_DATA, facts) == CURLE_OK;
}
