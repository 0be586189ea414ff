#pragma once
// An HTTP validation-server stand-in on loopback that meets each request with
// a scripted misbehaviour: closing, resetting, stalling, flooding, erroring,
// redirecting forever or breaking the chunked framing.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "transport/socket_shim.h"

class HttpPeer {
 public:
  // Called on the peer's thread with the accepted connection and the request
  // head (request line and headers). The peer closes the connection after.
  using Script = std::function<void(HttpPeer& peer, socket_t connection, const std::string& head)>;

  explicit HttpPeer(Script script);
  ~HttpPeer();
  HttpPeer(const HttpPeer&) = delete;
  HttpPeer& operator=(const HttpPeer&) = delete;

  // "http://127.0.0.1:port", the engine's HTTP base.
  std::string BaseUrl() const;
  std::vector<std::string> RequestLines() const;

  // For scripts: turns the close that follows the script into a TCP reset.
  static void Reset(socket_t connection);
  // Blocks until the peer is being destroyed or the client has closed, at
  // most maxMs milliseconds.
  void Stall(socket_t connection, int maxMs);

 private:
  void Serve();

  Script m_script;
  socket_t m_listener = kInvalidSocket;
  unsigned short m_port = 0;
  std::atomic<bool> m_stop{false};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_requestLines;
  std::thread m_thread;
};

// A complete response with a Content-Length header.
std::string HttpResponse(const std::string& status, const std::string& body,
                         const std::string& extraHeaders = "");
