#pragma once
// An HTTP/1.1 validation-server stand-in on 127.0.0.1. Each connection is
// served on a thread of its own: one request, then the connection closes.
// Every request is recorded. A handler answers with a reply (queued bodies
// go first); a script writes to the connection itself and may misbehave in
// any way: closing, resetting, stalling, flooding, breaking the framing.

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "voka/transport/socket_shim.h"

struct HttpRequestRecord {
  std::string line;  // the request line as sent
  std::string method;
  std::string target;  // path and query, or an absolute URL through a proxy
  std::vector<std::pair<std::string, std::string>> headers;

  // The value of the first header of that name (any case); empty when absent.
  std::string Header(const std::string& name) const;
};

struct HttpReply {
  int status = 200;
  std::string body;       // may hold NUL bytes
  std::string location;   // adds a Location header when set
  int pieces = 1;         // the body goes out in this many parts ...
  int pieceGapMs = 0;     // ... with this pause before each part after the first
  int headByteGapMs = 0;  // when set, the status line and headers go out a byte at a time, this far apart

  static HttpReply Text(std::string body, int status = 200);
  static HttpReply Trickle(std::string body, int pieces, int pieceGapMs);
  static HttpReply TrickleHead(std::string body, int byteGapMs);
  static HttpReply Redirect(std::string location, int status = 302);
};

class HttpPeer {
 public:
  using Handler = std::function<HttpReply(const HttpRequestRecord&)>;
  // Called with the request head (request line and headers); the peer
  // closes the connection after.
  using Script = std::function<void(HttpPeer& peer, socket_t connection, const std::string& head)>;

  // Without a handler every request gets 404 with an empty body.
  explicit HttpPeer(Handler handler = nullptr);
  explicit HttpPeer(Script script);
  ~HttpPeer();
  HttpPeer(const HttpPeer&) = delete;
  HttpPeer& operator=(const HttpPeer&) = delete;

  uint16_t Port() const { return m_port; }
  std::string BaseUrl() const;  // "http://127.0.0.1:PORT", as Initialize takes it

  void SetHandler(Handler handler);
  void SetReply(const HttpReply& reply);     // the same reply for every request
  void AnswerWith(const std::string& body);  // the next request gets this body with status 200

  int RequestCount() const;
  std::vector<HttpRequestRecord> Requests() const;
  std::vector<std::string> Targets() const;

  // For scripts: turns the close that follows the script into a TCP reset.
  static void Reset(socket_t connection);
  // Blocks until the peer is being destroyed or the client has closed, at
  // most maxMs milliseconds.
  void Stall(socket_t connection, int maxMs);

 private:
  struct Connection {
    socket_t socket;
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };

  void Listen();
  void AcceptLoop();
  void Serve(socket_t client);
  void SendReply(socket_t client, const HttpReply& reply);
  void ReapFinished();

  socket_t m_listener = kInvalidSocket;
  uint16_t m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_acceptor;
  mutable std::mutex m_mutex;
  Handler m_handler;
  Script m_script;
  std::deque<std::string> m_queuedBodies;
  std::vector<HttpRequestRecord> m_requests;
  std::vector<Connection> m_connections;  // touched by the acceptor thread only
};

// A complete response with a Content-Length header, for scripts.
std::string HttpResponse(const std::string& status, const std::string& body, const std::string& extraHeaders = "");
