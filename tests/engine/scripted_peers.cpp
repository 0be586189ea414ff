#include "tests/engine/scripted_peers.h"

#include <stdexcept>

#include "codec/seal_param.h"

namespace {

constexpr size_t kHeaderSize = 20;

UDP_HEADER HeaderOf(const std::string& datagram) {
  UDP_HEADER header{};
  ReadWireHeader(datagram, &header);
  return header;
}

}  // namespace

uint16_t DatagramCommand(const std::string& datagram) { return HeaderOf(datagram).wCommand; }

uint32_t DatagramSequence(const std::string& datagram) { return HeaderOf(datagram).dwSequence; }

uint32_t DatagramLengthField(const std::string& datagram) { return HeaderOf(datagram).dwLength; }

std::string OpenedPayload(const std::string& datagram) {
  std::string text;
  if (datagram.size() < kHeaderSize ||
      !OpenSealedParam(datagram.data() + kHeaderSize, datagram.size() - kHeaderSize,
                       kSealPassPhrase, text)) {
    return "<not sealed>";
  }
  return text;
}

ScriptedUdpPeer::ScriptedUdpPeer() {
  if (!m_peer.Bound()) {
    throw std::runtime_error("cannot bind the UDP peer");
  }
  m_peer.StartResponder([this](const std::string& request) { return Answer(request); });
}

ScriptedUdpPeer::~ScriptedUdpPeer() { m_peer.StopResponder(); }

std::string ScriptedUdpPeer::Endpoint() const { return "127.0.0.1:" + m_peer.PortText(); }

void ScriptedUdpPeer::AnswerWith(const std::string& payload) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_replies.push_back({false, payload});
}

void ScriptedUdpPeer::AnswerRaw(const std::string& datagram) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_replies.push_back({true, datagram});
}

std::vector<std::string> ScriptedUdpPeer::Requests() const { return m_peer.Received(); }

std::optional<std::string> ScriptedUdpPeer::Answer(const std::string& request) {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_replies.empty()) {
    return std::nullopt;
  }
  const Reply reply = m_replies.front();
  m_replies.pop_front();
  if (reply.raw) {
    return reply.bytes;
  }
  return WireDatagram(DatagramCommand(request), DatagramSequence(request), reply.bytes);
}

ScriptedHttpServer::ScriptedHttpServer()
    : m_server([this](const HttpRequestRecord&) {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string body;
        if (!m_bodies.empty()) {
          body = m_bodies.front();
          m_bodies.pop_front();
        }
        return HttpReply::Text(body);
      }) {
  if (!m_server.Listening()) {
    throw std::runtime_error("cannot start the HTTP server");
  }
}

void ScriptedHttpServer::AnswerWith(const std::string& body) {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_bodies.push_back(body);
}

std::vector<std::string> ScriptedHttpServer::Targets() const {
  std::vector<std::string> targets;
  for (const HttpRequestRecord& request : m_server.Requests()) {
    targets.push_back(request.target);
  }
  return targets;
}
