#pragma once
// An HTTP/1.1 server on 127.0.0.1 for tests and benchmarks. Each connection
// is served on a thread of its own: one request, one reply, then the
// connection closes. Every request is recorded.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "transport/socket_shim.h"

struct HttpRequestRecord {
  std::string method;
  std::string target;   // as sent: path and query, or an absolute URL through a proxy
  std::vector<std::pair<std::string, std::string>> headers;

  // The value of the first header of that name (any case); empty when absent.
  std::string Header(const std::string& name) const;
};

struct HttpReply {
  int status = 200;
  std::string body;          // may hold NUL bytes
  std::string location;      // adds a Location header when set
  bool silent = false;       // send nothing; hold the connection until the client leaves
  int pieces = 1;            // the body goes out in this many parts ...
  int pieceGapMs = 0;        // ... with this pause before each part after the first
  int headByteGapMs = 0;     // when set, the status line and headers go out a byte at a time, this far apart

  static HttpReply Text(std::string body, int status = 200);
  static HttpReply Trickle(std::string body, int pieces, int pieceGapMs);
  static HttpReply TrickleHead(std::string body, int byteGapMs);
  static HttpReply Redirect(std::string location, int status = 302);
  static HttpReply Silent();
};

class LoopbackHttpServer {
 public:
  using Handler = std::function<HttpReply(const HttpRequestRecord&)>;

  // Without a handler every request gets 404 with an empty body.
  explicit LoopbackHttpServer(Handler handler = nullptr);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  bool Listening() const { return m_listening; }
  uint16_t Port() const { return m_port; }
  std::string BaseUrl() const;   // "http://127.0.0.1:PORT"

  void SetHandler(Handler handler);
  void SetReply(HttpReply reply);   // the same reply for every request

  int RequestCount() const;
  std::vector<HttpRequestRecord> Requests() const;

 private:
  struct Connection {
    socket_t socket;
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void AcceptLoop();
  void Serve(socket_t client);
  void ReapFinished();

  socket_t m_listener = kInvalidSocket;
  bool m_started = false;
  bool m_listening = false;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  mutable std::mutex m_mutex;
  Handler m_handler;
  std::vector<HttpRequestRecord> m_requests;
  std::vector<Connection> m_connections;   // touched by the acceptor thread only
};
