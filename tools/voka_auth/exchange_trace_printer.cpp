#include "tools/voka_auth/exchange_trace_printer.h"

#include <cstdio>

#include "codec/ansi_codepage.h"
#include "tools/text_escape.h"

namespace {

std::string Hex16(unsigned value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%04X", value & 0xFFFFu);
  return text;
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

void CExchangeTracePrinter::OnParameterText(const std::string& text) {
  m_out << "> parameters: " << PrintableAnsi(text.data(), text.size()) << "\n";
}

void CExchangeTracePrinter::OnDatagram(const UDP_HEADER& sent, const std::string& host, const std::string& port) {
  m_out << "> datagram to " << host << ":" << port << ": dwLength=" << sent.dwLength
        << " wCommand=" << Hex16(sent.wCommand) << " dwSequence=" << sent.dwSequence
        << " wParam1=" << sent.wParam1 << " wFixed1=" << sent.wFixed1 << " wFixed2=" << sent.wFixed2
        << " wParam2=" << sent.wParam2 << " wFixed3=" << sent.wFixed3 << "\n";
}

void CExchangeTracePrinter::OnUrl(const std::string& url) {
  m_out << "> GET " << PrintableAnsi(url.data(), url.size()) << "\n";
}

void CExchangeTracePrinter::OnAnswer(const char* data, int length) {
  size_t size = data && length > 0 ? static_cast<size_t>(length) : 0;
  m_out << "< answer (" << size << " bytes): " << PrintableAnsi(data, size) << "\n";
}
