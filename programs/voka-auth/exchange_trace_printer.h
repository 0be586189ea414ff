// The -v trace of voka-auth: every exchange of the engine, written to a stream.
#pragma once

#include <ostream>
#include <string>

#include "voka-auth/result_output.h"
#include "voka/client_authen.h"

// Engine texts are ANSI; the trace shows them in UTF-8, with NUL separators
// as "\0" and other control bytes as \xHH.
std::string PrintableAnsi(const char* data, size_t length);

// "udp port-unreachable, then http no-connection: no connection to the
// server": each stage the last request tried, then what the last one's
// cause means. Empty when the last stage failed for no cause (its answer
// was read).
std::string CausesText(const CClientAuthen& engine);

// The same, stage by stage, for --json.
StageCauses CausesOf(const CClientAuthen& engine);

class CExchangeTracePrinter : public ExchangeTrace {
 public:
  // Passwords and card answers show as "***" unless showSecrets.
  CExchangeTracePrinter(std::ostream& out, bool showSecrets) : m_out(out), m_showSecrets(showSecrets) {}
  void OnParameterText(const std::string& text) override;
  void OnDatagram(const UDP_HEADER& sent, const std::string& host, const std::string& port) override;
  void OnUrl(const std::string& url) override;
  void OnAnswer(const char* data, int length) override;
  void OnFailureCause(RequestTransport stage, int cause) override;

 private:
  // The text with the values of PWD, EKEYPWD and ECARDPWD masked.
  std::string Masked(const std::string& text) const;

  std::ostream& m_out;
  bool m_showSecrets;
};
