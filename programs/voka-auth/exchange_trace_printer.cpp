#include "voka-auth/exchange_trace_printer.h"

#include <cstdio>

#include "voka/codec/ansi_codepage.h"
#include "voka/codec/text_escape.h"
#include "voka/failure_cause.h"
#include "voka/protocol/answer_fields.h"
#include "voka/protocol/request_kinds.h"

namespace {

std::string Hex16(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
  return text;
}

bool StartsField(const std::string& text, size_t at) {
  return at == 0 || text[at - 1] == '^' || text[at - 1] == '&' || text[at - 1] == '?';
}

}  // namespace

std::string PrintableAnsi(const char* data, size_t length) {
  std::string out;
  size_t start = 0;
  for (size_t at = 0; at <= length; ++at) {
    if (at == length || data[at] == '\0') {
      out += EscapeControlBytes(AnsiToUtf8Text(std::string(data + start, at - start)));
      if (at < length) out += "\\0";
      start = at + 1;
    }
  }
  return out;
}

std::string CausesText(const CClientAuthen& engine) {
  if (engine.LastCause() == VOKA_CAUSE_NONE || engine.LastCause() == VOKA_CAUSE_NOT_TRIED) return "";
  const RequestCauses& causes = engine.LastCauses();
  std::string text;
  if (causes.udp != VOKA_CAUSE_NOT_TRIED) text = std::string("udp ") + FailureCauseName(causes.udp);
  if (causes.http != VOKA_CAUSE_NOT_TRIED) {
    text += (text.empty() ? "http " : ", then http ") + std::string(FailureCauseName(causes.http));
  }
  return text + ": " + FailureCauseText(engine.LastCause());
}

std::string CExchangeTracePrinter::Masked(const std::string& text) const {
  if (m_showSecrets) return text;
  // A datagram's fields end at kFieldSeparator; a query's, whose values are
  // escaped, at '&'. Masking to the wrong one can only hide too much.
  const std::string separator = text.find(kFieldSeparator) != std::string::npos ? kFieldSeparator : "&";
  std::string masked = text;
  for (const std::string& name : SecretFieldNames()) {
    const std::string field = name + "=";
    for (size_t at = masked.find(field); at != std::string::npos; at = masked.find(field, at + 1)) {
      if (!StartsField(masked, at)) continue;
      const size_t value = at + field.size();
      const size_t end = masked.find(separator, value);
      masked.replace(value, (end == std::string::npos ? masked.size() : end) - value, "***");
    }
  }
  return masked;
}

void CExchangeTracePrinter::OnParameterText(const std::string& text) {
  const std::string shown = Masked(text);
  m_out << "> parameters: " << PrintableAnsi(shown.data(), shown.size()) << "\n";
}

void CExchangeTracePrinter::OnDatagram(const UDP_HEADER& sent, const std::string& host, const std::string& port) {
  m_out << "> datagram to " << host << ":" << port << ": dwLength=" << sent.dwLength
        << " wCommand=" << Hex16(sent.wCommand) << " dwSequence=" << sent.dwSequence << " wParam1=" << sent.wParam1
        << " wFixed1=" << sent.wFixed1 << " wFixed2=" << sent.wFixed2 << " wParam2=" << sent.wParam2
        << " wFixed3=" << sent.wFixed3 << "\n";
}

void CExchangeTracePrinter::OnUrl(const std::string& url) {
  const std::string shown = Masked(url);
  m_out << "> GET " << PrintableAnsi(shown.data(), shown.size()) << "\n";
}

void CExchangeTracePrinter::OnAnswer(const char* data, int length) {
  size_t size = data && length > 0 ? static_cast<size_t>(length) : 0;
  m_out << "< answer (" << size << " bytes): " << PrintableAnsi(data, size) << "\n";
}

void CExchangeTracePrinter::OnFailureCause(RequestTransport stage, int cause) {
  m_out << "! " << (stage == RequestTransport::kUdp ? "udp" : "http") << " failed: " << FailureCauseName(cause) << ": "
        << FailureCauseText(cause) << "\n";
}
