// CClientAuthen: the authentication engine. It keeps the server endpoints,
// the transport choice, the values carried from one request to the next and
// the result map that the host reads with GetValue. This is the library's
// public header: <voka/client_authen.h>, with the result codes it includes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

#include "voka/failure_cause.h"
#include "voka/limits.h"
#include "voka/result_codes.h"
#include "voka/udp_header.h"

enum class RequestKind : uint8_t;  // protocol/request_kinds.h
struct RequestValue;               // engine/request_text.h
struct HttpFacts;                  // voka/http_facts.h

// The two ways a request travels.
enum class RequestTransport { kUdp, kHttp };

// Why the last request failed, for each stage it tried (voka/failure_cause.h):
// VOKA_CAUSE_NONE for a stage whose answer was read, whatever its verdict;
// VOKA_CAUSE_NOT_TRIED for a stage that did not run.
struct RequestCauses {
  int udp = VOKA_CAUSE_NOT_TRIED;
  int http = VOKA_CAUSE_NOT_TRIED;
};

// Observer of the exchanges (the command-line client's -v); not part of COM.
class ExchangeTrace {
 public:
  virtual ~ExchangeTrace() = default;
  // The parameter text before sealing (UDP), or the query (HTTP).
  virtual void OnParameterText(const std::string& text) = 0;
  // The request header as sent (host order), and the destination.
  virtual void OnDatagram(const UDP_HEADER& sent, const std::string& host, const std::string& port) = 0;
  // The URL of an HTTP request.
  virtual void OnUrl(const std::string& url) = 0;
  // The raw answer: UDP payload or HTTP body.
  virtual void OnAnswer(const char* data, int length) = 0;
  // A datagram exchange that brought no answer: its code (kSendFailed,
  // kNoAnswer...; voka/result_codes.h).
  virtual void OnExchangeFailed(int /*code*/) {}
  // What an HTTP request met (status, redirects, TLS), whatever its result.
  virtual void OnHttpFacts(const HttpFacts& /*facts*/) {}
  // Why a stage failed (voka/failure_cause.h), when it did.
  virtual void OnFailureCause(RequestTransport /*stage*/, int /*cause*/) {}
};

// GetValue's key for the name of LastCause() ("none", "no-answer", ...), so
// that a COM host reads the cause too; no answer field has a name with '='.
constexpr char kLastCauseKey[] = "=CAUSE";

class CClientAuthen {
 public:
  CClientAuthen();
  virtual ~CClientAuthen();

  // udpServer is "host[:port]"; tcpServer the base of every HTTP URL.
  // Empties the result map and returns 0; for an endpoint holding a control
  // byte, AUTHEN_E_FAIL as for a request too long, the endpoints unchanged.
  int Initialize(const char* udpServer, const char* tcpServer);

  // Looks key up without regard to the case of a-z (kLastCauseKey as it is). 0: the value and its NUL
  // were copied into value; -1: absent; -2: value and NUL do not fit in
  // capacity bytes. The buffer is untouched unless 0 is returned.
  int GetValue(const char* key, char* value, size_t capacity);
  // The whole value: 0, or -1 when absent.
  int GetValue(const char* key, std::string& value);
  // Exact-key lookup; empty when absent. Copying the value may throw
  // std::bad_alloc: a caller never mistakes a failed copy for an absent field.
  std::string FindValue(const char* key) const;

  int StaticAuthen(const char* userId, const char* pwd, const char* appId, const char* areaId, const char* checkCode,
                   const char* indication);
  int GetDynamicKey(const char* indication);
  int EKeyAuthen(const char* userId, const char* ekeyPwd, const char* ekeyType, const char* indication);
  int ECardAuthen(const char* userId, const char* ecardPwd, const char* indication);
  // Any request, by its row: the fields given (a null value is a field the
  // host did not pass), and for every other field of the row what the login
  // holds (GUID, and the application and area the account login named) or
  // the machine's address. A request that names APPID or AREAID keeps them.
  // The four above are this with their own fields.
  int Request(RequestKind kind, const std::vector<RequestValue>& given);
  // The dynamic-key request over one transport alone, as GetDynamicKey's
  // stage sends it, for a connection check: the answer fills the result
  // map, and the transport choice and the GUID stay as they were.
  int ProbeDynamicKey(RequestTransport transport, const char* indication);

  // Fails a call whose argument the host could not convert to the code page
  // without changing it: AUTHEN_E_FAIL, with the reason under "DESCMSG".
  int RefuseTextNotInCodePage();
  // Fails a call with an argument too long for any request (longer than
  // kLongestUrl) as a request too long is failed, before any work.
  int RefuseRequestTooLong();

  // Seconds one UDP exchange waits for its answer (default kDefaultUdpTimeOutSeconds,
  // at most kLongestUdpTimeOutSeconds).
  void SetUdpTimeOut(int seconds);
  // Has https trust only the CAs of this PEM file (empty: the system's, or
  // VOKA_CA_BUNDLE's); false where the system's certificate store alone
  // decides (Windows).
  bool SetCaBundle(const std::string& file);
  void SetTrace(ExchangeTrace* trace);
  // Safe from another thread while a request runs: the UDP wait or HTTP fetch
  // under way ends within 100 ms with VOKA_CAUSE_CANCELLED, and every
  // request fails so until ClearCancel(); no fallback to HTTP follows.
  void Cancel() { m_bCancelled = true; }
  void ClearCancel() { m_bCancelled = false; }
  bool Cancelled() const { return m_bCancelled; }

  // Beside the result code and DESCMSG, which they leave as they are.
  const RequestCauses& LastCauses() const { return m_lastCauses; }
  // The cause of the last stage the last request tried (HTTP after a
  // fallback); VOKA_CAUSE_NOT_TRIED before any request.
  int LastCause() const;

  const std::map<std::string, std::string>& Results() const { return m_mapResult; }
  bool UsesUdp() const { return m_bUseUdp; }
  const std::string& Guid() const { return m_strGuid; }
  const std::string& AppId() const { return m_strAppId; }
  const std::string& AreaId() const { return m_strAreaId; }
  const std::string& UdpHost() const { return m_strUdpHost; }
  const std::string& UdpPort() const { return m_strUdpPort; }
  const std::string& TcpServer() const { return m_strTcpServer; }
  int UdpTimeOut() const { return m_nUdpTimeOut; }

  // Answer parsing, shared by every stage: merges the fields of length bytes
  // of answer into the result map, names upper-cased.
  void ParseAnswer(const char* data, size_t length);
  // "RETVALUE" as a 32-bit integer; AUTHEN_E_FAIL when absent, when it holds
  // no decimal number, or when the number is out of range.
  int GetRetValue() const;
  // False when GetRetValue fails for want of a number.
  bool ReadRetValue(int* value) const;
  // The answer as one text, its NUL separators turned into "^$^".
  static std::string AnswerToText(const char* data, size_t length);
  // Appends to pieces the parts of text between occurrences of separator.
  static void SplitString(const std::string& text, const std::string& separator, std::vector<std::string>& pieces);

 private:
  // Request with the fields of one of the named requests; the list of them is
  // built where running out of memory fails the request, not the caller.
  int RequestNamed(RequestKind kind, std::initializer_list<RequestValue> given);
  // The dynamic key: UDP first, then HTTP for good when that fails.
  int IssueDynamicKey(const std::vector<RequestValue>& values);
  // One stage of the dynamic key, on an emptied result map.
  int RunKeyStage(RequestTransport transport, const std::vector<RequestValue>& values, bool* refused);
  int RequestEkeyPasswordFromAnswer();
  // The one-way switch from UDP to HTTP: clears m_bUseUdp for the engine's
  // life and returns true when the dynamic key's UDP stage returned
  // AUTHEN_E_FAIL for any cause but a text refused before sending (a value
  // holding "^$^"): that fails the call, over any transport. These switch:
  //  - a failed exchange (codes 1003-2003): no socket, a failed send or
  //    receive, no answer in time, an answer too long or without a header,
  //    a text too long to seal into one datagram;
  //  - an answer without RETVALUE, or with one that is not a 32-bit number;
  //  - RETVALUE -10332102 from the server;
  //  - a failure caught inside the stage (out of memory).
  // Any other result, the server's verdicts and a cancel included, keeps UDP;
  // the logins themselves never switch.
  bool SwitchToHttpAfterUdpFailure(int udpResult, bool refusedBeforeSending);
  // One stage of any kind over transport, driven by the kind's row.
  int RunStage(RequestTransport transport, RequestKind kind, const std::vector<RequestValue>& values,
               bool* refused = nullptr);
  // One UDP stage: join the kind's fields, seal, exchange, parse. A value
  // that the sealed text cannot carry fails it before anything is sent, and
  // sets *refused when refused is not null.
  int RunUdpStage(RequestKind kind, const std::vector<RequestValue>& values, bool* refused = nullptr);
  // One HTTP stage: fetch url, parse the body. query is only traced.
  int RunHttpStage(const std::string& url, const std::string& query);
  // RETVALUE and DESCMSG describe the latest exchange only: a stage drops
  // them before it sends.
  void ForgetLastVerdict();
  // A request starts: no stage tried yet.
  void BeginRequest();
  // The cause of stage in the request under way, which becomes its last stage.
  void NoteCause(RequestTransport stage, int cause);
  // Parses an answer into the map; its own RETVALUE, or AUTHEN_E_FAIL with
  // the network message when it has none. The stage's cause is set either way.
  int MergeAnswer(RequestTransport stage, const char* data, size_t length, long httpStatus = 0);
  // An HTTP stage whose URL is the base, the kind's path and, when there
  // are any, '?' and the "&"-joined fields.
  int RunHttpQueryStage(RequestKind kind, const std::vector<RequestValue>& values);
  // One datagram round trip; 0 or the exchange's failure code, which also
  // puts the network message under "DESCMSG" and the cause in *cause.
  int SendUdpRequest(UDP_HEADER* header, const std::string& payload, std::string& answer, int* cause);
  int ExchangeDatagram(UDP_HEADER* header, const std::string& payload, std::string& answer, int* cause);
  void SetResult(const std::string& name, const std::string& value);
  // AUTHEN_E_FAIL with message under "DESCMSG", the last verdict forgotten.
  int Refuse(const char* message);
  // The value stored under key, letters a-z matched in either case; null
  // when absent.
  const std::string* LookUpField(const char* key) const;
  // The name of LastCause() when key is kLastCauseKey; else null.
  const char* LookUpCause(const char* key) const;

  int m_nUdpTimeOut;
  bool m_bUseUdp;
  std::string m_strTcpServer;  // the base URL of every HTTP request, not a TCP server
  std::string m_strCaBundle;
  std::string m_strUdpHost;
  std::string m_strUdpPort;
  std::string m_strUdpServerName;
  std::string m_strGuid;
  std::string m_strAppId;
  std::string m_strAreaId;
  std::map<std::string, std::string> m_mapResult;
  ExchangeTrace* m_pTrace;
  bool m_bSocketLibraryStarted;
  RequestCauses m_lastCauses;
  RequestTransport m_eLastStage;
  std::atomic<bool> m_bCancelled{false};
};
