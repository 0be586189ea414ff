// The reference server's request opener on any datagram, and on any parameter
// text as the engine seals and frames it. The server must open everything
// the engine sends, unchanged, and refuse everything else without reading
// past the datagram. The same bytes also go through the HTTP service's split
// of a request target and its query decoding.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "programs/voka-server/http_request.h"
#include "programs/voka-server/request_opener.h"
#include "voka/codec/seal_param.h"
#include "voka/protocol/answer_fields.h"
#include "voka/protocol/request_kinds.h"

namespace {

// Parameter texts of up to this length always fit the sealed buffer.
constexpr size_t kLongestSealedText = 1512;

void CheckFields(const RequestFields& fields) {
  for (const auto& field : fields) {
    for (char c : field.first) FUZZ_CHECK(!(c >= 'a' && c <= 'z'));
  }
}

void OpenAnyDatagram(const uint8_t* data, size_t size) {
  // An exact-size copy, so that reading past the datagram is caught.
  std::vector<unsigned char> datagram(data, data + size);
  UDP_HEADER header;
  std::string text, problem;
  OpenResult result = OpenRequestDatagram(datagram.data(), size, header, text, problem);
  if (result == OpenResult::kOpened) {
    FUZZ_CHECK(size >= kUdpHeaderSize && size <= kLargestRequestDatagram);
    FUZZ_CHECK(header.dwLength == size - 4);
    CheckFields(ParseParameterText(text, kFieldSeparator));
  } else {
    FUZZ_CHECK(!problem.empty());
  }
}

void SealFrameAndOpen(const uint8_t* data, size_t size) {
  if (size > kLongestSealedText) return;
  char sealed[kSealedBufferSize];
  SealParam(data, static_cast<int>(size), kSealPassPhrase, sealed);
  size_t sealedLength = std::strlen(sealed);

  UDP_HEADER header{};
  header.wCommand = RowOf(RequestKind::kStaticLogin).udpCommand;
  CUDPPacket packet;
  FUZZ_CHECK(packet.Pack(header, static_cast<int>(sealedLength), reinterpret_cast<const unsigned char*>(sealed)) == 0);
  SwapUdpHeaderByteOrder(packet.m_Buffer);
  std::vector<unsigned char> datagram(packet.m_Buffer, packet.m_Buffer + packet.m_nLength);

  UDP_HEADER opened;
  std::string text, problem;
  FUZZ_CHECK(OpenRequestDatagram(datagram.data(), datagram.size(), opened, text, problem) == OpenResult::kOpened);
  // Sealing drops trailing 0xFF bytes of the text; nothing else changes.
  size_t kept = size;
  while (kept > 0 && data[kept - 1] == 0xFF) --kept;
  FUZZ_CHECK(text.size() == kept && std::memcmp(text.data(), data, kept) == 0);
}

void SplitAnyRequestTarget(const uint8_t* data, size_t size) {
  const std::string target(reinterpret_cast<const char*>(data), size);
  RequestTarget split;
  if (!SplitRequestTarget(target, split)) return;
  FUZZ_CHECK(split.path.find('?') == std::string::npos);
  FUZZ_CHECK(split.path + (split.hasQuery ? "?" + split.query : "") == target);
  CheckFields(ParseQuery(split.query));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  OpenAnyDatagram(data, size);
  SealFrameAndOpen(data, size);
  SplitAnyRequestTarget(data, size);
  return 0;
}
