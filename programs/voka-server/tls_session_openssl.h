// TLS for voka-server's https service (OpenSSL): one context with the
// server's certificate and key, one session per accepted connection.
#pragma once

#include <sys/types.h>

#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

class CTlsContext {
 public:
  CTlsContext() = default;
  ~CTlsContext();
  CTlsContext(const CTlsContext&) = delete;
  CTlsContext& operator=(const CTlsContext&) = delete;

  // 0 once the PEM certificate (chain) and its private key are loaded and
  // match; 1 with a reason otherwise.
  int Load(const std::string& certificatePath, const std::string& keyPath, std::string& error);
  bool Loaded() const { return m_context != nullptr; }
  SSL_CTX* Handle() const { return m_context; }

 private:
  SSL_CTX* m_context = nullptr;
};

// Outcome of one non-blocking step on a connection, plain or TLS.
constexpr ssize_t kIoWouldBlock = -1;
constexpr ssize_t kIoFailed = -2;

// The server side of one TLS connection over a non-blocking socket.
class CTlsSession {
 public:
  CTlsSession(const CTlsContext& context, int socket);
  ~CTlsSession();
  CTlsSession(const CTlsSession&) = delete;
  CTlsSession& operator=(const CTlsSession&) = delete;

  // 1 once the handshake is complete, kIoWouldBlock while it goes on,
  // kIoFailed with a reason when it failed.
  ssize_t Handshake(std::string& error);
  // Bytes moved (> 0), 0 when the peer closed, kIoWouldBlock or kIoFailed.
  ssize_t Receive(char* buffer, size_t size);
  ssize_t Send(const char* data, size_t size);
  // Sends the closing alert, without waiting for the peer's.
  void Shutdown();
  // POLLIN or POLLOUT: what the last step that would block waits for.
  short WaitsFor() const { return m_waitsFor; }

 private:
  ssize_t Outcome(int result, std::string* error);

  SSL* m_session = nullptr;
  short m_waitsFor = 0;
};
