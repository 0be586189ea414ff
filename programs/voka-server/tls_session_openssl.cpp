#include "programs/voka-server/tls_session_openssl.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>

namespace {

std::string LastOpenSslError() {
  unsigned long code = ERR_get_error();
  ERR_clear_error();
  if (code == 0) return "connection closed";
  char text[256];
  ERR_error_string_n(code, text, sizeof text);
  return text;
}

}  // namespace

CTlsContext::~CTlsContext() {
  if (m_context != nullptr) SSL_CTX_free(m_context);
}

int CTlsContext::Load(const std::string& certificatePath, const std::string& keyPath, std::string& error) {
  m_context = SSL_CTX_new(TLS_server_method());
  if (m_context == nullptr) {
    error = "TLS: " + LastOpenSslError();
    return 1;
  }
  SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
  // Writes resume from the connection's output string, which may have grown
  // (and moved) since the write that would block.
  SSL_CTX_set_mode(m_context, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
  if (SSL_CTX_use_certificate_chain_file(m_context, certificatePath.c_str()) != 1) {
    error = certificatePath + ": " + LastOpenSslError();
  } else if (SSL_CTX_use_PrivateKey_file(m_context, keyPath.c_str(), SSL_FILETYPE_PEM) != 1) {
    error = keyPath + ": " + LastOpenSslError();
  } else if (SSL_CTX_check_private_key(m_context) != 1) {
    error = keyPath + ": the key does not match the certificate";
  } else {
    return 0;
  }
  SSL_CTX_free(m_context);
  m_context = nullptr;
  return 1;
}

CTlsSession::CTlsSession(const CTlsContext& context, int socket) {
  m_session = SSL_new(context.Handle());
  if (m_session != nullptr && SSL_set_fd(m_session, socket) != 1) {
    SSL_free(m_session);
    m_session = nullptr;
  }
  if (m_session != nullptr) SSL_set_accept_state(m_session);
}

CTlsSession::~CTlsSession() {
  if (m_session != nullptr) SSL_free(m_session);
}

ssize_t CTlsSession::Handshake(std::string& error) {
  if (m_session == nullptr) {
    error = "no TLS session";
    return kIoFailed;
  }
  return Outcome(SSL_do_handshake(m_session), &error);
}

ssize_t CTlsSession::Receive(char* buffer, size_t size) {
  if (m_session == nullptr) return kIoFailed;
  return Outcome(SSL_read(m_session, buffer, static_cast<int>(size)), nullptr);
}

ssize_t CTlsSession::Send(const char* data, size_t size) {
  if (m_session == nullptr) return kIoFailed;
  return Outcome(SSL_write(m_session, data, static_cast<int>(size)), nullptr);
}

void CTlsSession::Shutdown() {
  if (m_session != nullptr && SSL_is_init_finished(m_session)) SSL_shutdown(m_session);
  ERR_clear_error();
}

ssize_t CTlsSession::Outcome(int result, std::string* error) {
  m_waitsFor = 0;
  if (result > 0) return result;
  switch (SSL_get_error(m_session, result)) {
    case SSL_ERROR_WANT_READ:
      m_waitsFor = POLLIN;
      return kIoWouldBlock;
    case SSL_ERROR_WANT_WRITE:
      m_waitsFor = POLLOUT;
      return kIoWouldBlock;
    case SSL_ERROR_ZERO_RETURN:
      return 0;
    default: {
      const std::string reason = LastOpenSslError();
      if (error != nullptr) *error = reason;
      return kIoFailed;
    }
  }
}
