#include "voka/loadgen/bench_socket_logins.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>
#include <string>
#include <thread>

#include "engine/answer_datagram.h"
#include "engine/request_values.h"
#include "engine/usb_ekey_init.h"
#include "loadgen/bench_datagram_io.h"
#include "transport/udp_server.h"
#include "voka/client_authen.h"
#include "voka/codec/decimal_integer.h"
#include "voka/codec/machine_identity.h"
#include "voka/codec/seal_param.h"
#include "voka/login_steps.h"
#include "voka/protocol/answer_fields.h"
#include "voka/protocol/field_names.h"

namespace {

// The longest a worker waits before it looks at the stop flag again.
constexpr std::chrono::milliseconds kStopPoll{20};
// A round (a wake-up that takes the answers waiting, starts the logins due
// and sends their requests in one call) that found more than one thing to do
// shows them coming faster than rounds: the next round waits this long after
// it, so that it takes many. A request or start may wait that long, a wait
// its login's latency includes; a worker taking answers one by one (low
// rates) waits for none, and its latencies are exact.
constexpr std::chrono::microseconds kRoundSpacing{500};
// One worker keeps this many logins in flight before a second one starts.
constexpr int kLoginsPerWorker = 64;

// One login under way.
struct Flight {
  bool busy = false;
  uint64_t index = 0;
  BenchClock::time_point due;
  std::chrono::nanoseconds dueSinceStart{0};
  const BenchAccount* account = nullptr;
  RequestKind kind = RequestKind::kDynamicKey;
  uint32_t sequence = 0;  // of the request awaiting its answer
  BenchClock::time_point sentAt;
  BenchClock::time_point deadline;
  std::string guid;
  std::string authenState;
  bool hasState = false;
  LoginRecord record;
};

class CSocketLoginWorker {
 public:
  CSocketLoginWorker(const BenchTarget& target, const std::vector<BenchAccount>& accounts, int inFlight,
                     std::atomic<uint64_t>& started, const LoginDone& done)
      : m_target(target),
        m_accounts(accounts),
        m_flights(static_cast<size_t>(inFlight)),
        m_started(started),
        m_done(done),
        m_outgoing(static_cast<size_t>(inFlight)) {}

  ~CSocketLoginWorker() {
    m_client.reset();
    if (m_socketLibrary) StopSocketLibrary();
  }
  CSocketLoginWorker(const CSocketLoginWorker&) = delete;
  CSocketLoginWorker& operator=(const CSocketLoginWorker&) = delete;

  void Run(CLoadSchedule& schedule) {
    OpenSocket();
    uint64_t index = 0;
    BenchClock::time_point due;
    bool claimed = false, over = false, readable = false;
    while (!over || m_busy > 0) {
      int events = readable ? ReceiveAnswers() : 0;
      BenchClock::time_point now = BenchClock::now();
      for (;;) {
        // A login is claimed only with a flight free for it: a worker with
        // all its flights busy leaves the next login to one that has room.
        if (!claimed && !over && m_busy < m_flights.size()) over = !(claimed = schedule.Claim(index, due));
        if (!claimed || now < due) break;
        claimed = false;
        if (!schedule.Start(due)) {
          over = true;
          break;
        }
        Begin(*FreeFlight(), index, due, due - schedule.StartTime());
        ++events;
      }
      if (claimed && schedule.Stopping()) {
        claimed = false;
        over = true;
      }
      ExpireOverdue(now);
      SendRequests();
      BenchClock::time_point wake = now + kStopPoll;
      if (claimed) wake = std::min(wake, due);
      for (const Flight& flight : m_flights) {
        if (flight.busy) wake = std::min(wake, flight.deadline);
      }
      if (m_busy > 0 && events > 1) NapUntil(now + kRoundSpacing);
      readable = WaitReadableUntil(m_socket, wake) == 1;
    }
  }

 private:
  // Without a socket every login fails as a local error: nothing can be sent.
  void OpenSocket() {
    if (!m_socketLibrary) return;
    // The engine's own reading of the server's address and port.
    CClientAuthen engine;
    engine.Initialize(m_target.udpServer.c_str(), m_target.httpServer.c_str());
    try {
      m_client =
          std::make_unique<CUDPServer>(engine.UdpHost().c_str(), engine.UdpPort().c_str(), "", m_target.timeoutSeconds);
    } catch (const std::exception&) {
      return;
    }
    long port = 0;
    sockaddr_in destination{};
    destination.sin_family = AF_INET;
    if (!ParseInteger(m_client->m_szServerPort, 1, 65535, port) ||
        inet_pton(AF_INET, m_client->m_szServerIP, &destination.sin_addr) != 1) {
      return;
    }
    destination.sin_port = htons(static_cast<uint16_t>(port));
    // Connected, the system looks the route up once, not for every datagram.
    if (connect(m_client->m_RSSocket, reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != 0 ||
        !MakeNonBlocking(m_client->m_RSSocket)) {
      return;
    }
    m_socket = m_client->m_RSSocket;
    // Every login's first request is the same text: sealed once.
    if (Seal(RequestKind::kDynamicKey, {{kFieldIndication, ""}}, m_sealedKeyRequest) != 0) m_socket = kInvalidSocket;
  }

  Flight* FreeFlight() {
    for (Flight& flight : m_flights) {
      if (!flight.busy) return &flight;
    }
    return nullptr;
  }

  void Begin(Flight& flight, uint64_t index, BenchClock::time_point due, std::chrono::nanoseconds dueSinceStart) {
    flight = Flight();
    flight.busy = true;
    flight.index = index;
    flight.due = due;
    flight.account = &m_accounts[index % m_accounts.size()];
    flight.dueSinceStart = dueSinceStart;
    ++m_busy;
    ++m_started;
    if (m_socket == kInvalidSocket) return Fail(flight, VOKA_CAUSE_NO_SOCKET);
    SendSealed(flight, RequestKind::kDynamicKey, m_sealedKeyRequest);
  }

  // 0, or the cause that kept the request from being sealed.
  int Seal(RequestKind kind, const RequestValues& values, std::string& sealed) {
    std::string text;
    if (!JoinSealedFields(SealedFieldsOf(RowOf(kind).udpFields, values), text)) return VOKA_CAUSE_TEXT_REFUSED;
    const bool fits = m_key.Seal(reinterpret_cast<const unsigned char*>(text.data()), text.size(), sealed);
    return fits ? 0 : VOKA_CAUSE_REQUEST_TOO_LONG;
  }

  // Completes, seals and sends one request of the flight; the login ends
  // when it cannot.
  void Send(Flight& flight, RequestKind kind, const RequestValues& given) {
    const LoginContext context{flight.guid, m_target.app, m_target.area};
    std::string sealed;
    const int cause = Seal(kind, CompleteRequestValues(kind, given, context, m_identity), sealed);
    if (cause != 0) return Fail(flight, cause);
    SendSealed(flight, kind, sealed);
  }

  void SendSealed(Flight& flight, RequestKind kind, const std::string& sealed) {
    flight.kind = kind;
    flight.record.made[SlotOf(kind)] = true;
    CUDPPacket& packet = m_outgoing[m_outgoingCount];
    UDP_HEADER header{};
    header.wCommand = RowOf(kind).udpCommand;
    if (packet.Pack(header, static_cast<int>(sealed.size()), reinterpret_cast<const unsigned char*>(sealed.data())) !=
        0) {
      return Fail(flight, VOKA_CAUSE_REQUEST_TOO_LONG);
    }
    packet.GetHeader(&header);
    flight.sequence = header.dwSequence;
    SwapUdpHeaderByteOrder(packet.m_Buffer);
    flight.sentAt = BenchClock::now();
    flight.deadline = flight.sentAt + std::chrono::seconds(m_target.timeoutSeconds);
    ++m_outgoingCount;
  }

  // A datagram the system refuses gets no answer: its login ends at the time-out.
  void SendRequests() {
    SendDatagrams(m_socket, m_outgoing, m_outgoingCount);
    m_outgoingCount = 0;
  }

  // Takes every answer waiting; how many.
  int ReceiveAnswers() {
    int total = 0;
    for (int received = kDatagramBatch; received == kDatagramBatch; total += received) {
      received = ReceiveDatagrams(m_socket, m_received);
      if (received < 0) {
        FailAllIfUnreachable(CauseOfReceiveError(SocketLastError()));
        break;
      }
      for (int i = 0; i < received; ++i) ReadAnswer(m_received[i]);
    }
    return total;
  }

  // The system told that the server's port or host cannot be reached: every
  // request in flight went there, and none will be answered.
  void FailAllIfUnreachable(int cause) {
    if (cause != VOKA_CAUSE_PORT_UNREACHABLE && cause != VOKA_CAUSE_HOST_UNREACHABLE) return;
    const BenchClock::time_point now = BenchClock::now();
    for (Flight& flight : m_flights) {
      if (!flight.busy) continue;
      flight.record.requestTime[SlotOf(flight.kind)] = now - flight.sentAt;
      Fail(flight, cause);
    }
  }

  void ReadAnswer(CUDPPacket& received) {
    if (received.m_nLength < kUdpHeaderSize) return;  // nothing that names its request
    SwapUdpHeaderByteOrder(received.m_Buffer);
    UDP_HEADER header{};
    std::string answer;
    if (DecodeAnswerDatagram(received, header, answer) != 0) return;
    for (Flight& flight : m_flights) {
      if (flight.busy && flight.sequence == header.dwSequence) return OnAnswer(flight, answer);
    }
  }

  void ExpireOverdue(BenchClock::time_point now) {
    for (Flight& flight : m_flights) {
      if (flight.busy && now >= flight.deadline) {
        flight.record.requestTime[SlotOf(flight.kind)] = now - flight.sentAt;
        Fail(flight, VOKA_CAUSE_NO_ANSWER);
      }
    }
  }

  // Reads the answer as the engine does, then sends the login's next request
  // or ends it, as the login's steps say.
  void OnAnswer(Flight& flight, const std::string& answer) {
    flight.record.requestTime[SlotOf(flight.kind)] = BenchClock::now() - flight.sentAt;
    AnswerFieldMap fields;
    MergeAnswerFields(answer.data(), answer.size(), fields);
    int result = AUTHEN_E_FAIL;
    if (!ReadVerdict(fields, &result)) return Fail(flight, VOKA_CAUSE_NO_VERDICT);
    if (result != AUTHEN_S_OK) {
      flight.record.retValue = result;
      return End(flight, LoginOutcome::kRefused);
    }
    // AUTHENSTATE as the engine's result map holds it: an answer without
    // one leaves the earlier answer's.
    const auto state = fields.find(kFieldAuthenState);
    if (state != fields.end()) {
      flight.authenState = state->second;
      flight.hasState = true;
    }
    if (flight.kind == RequestKind::kDynamicKey) flight.guid = fields[kFieldGuid];
    const LoginStep step = NextLoginStep(flight.kind, result, flight.hasState ? flight.authenState.c_str() : nullptr);
    if (step.over) {
      return End(flight, step.end == LoginEnd::kLoggedIn ? LoginOutcome::kLoggedIn : LoginOutcome::kMalformedAnswer);
    }
    SendNext(flight, step.next, fields);
  }

  // The fields a bench login gives a request of kind, as voka-auth login
  // gives them; the login's context completes them as the engine does.
  void SendNext(Flight& flight, RequestKind kind, const AnswerFieldMap& answer) {
    const BenchAccount& account = *flight.account;
    const char* user = account.user.c_str();
    std::string held;  // the token's password or the card's answer
    switch (kind) {
      case RequestKind::kDynamicKey: return Send(flight, kind, {{kFieldIndication, ""}});
      case RequestKind::kStaticLogin:
        return Send(flight, kind,
                    {{kFieldUserId, user},
                     {kFieldPassword, account.password.c_str()},
                     {kFieldCheckCode, ""},
                     {kFieldIndication, ""}});
      case RequestKind::kEKeyLogin: {
        const auto challenge = answer.find(kFieldChallenge);
        if (challenge == answer.end() || challenge->second.empty() ||
            challenge->second.size() > kMaxEkeyChallengeLength) {
          return Fail(flight, VOKA_CAUSE_NO_CHALLENGE);
        }
        if (!RequestEkeyPassword(challenge->second, held)) return Fail(flight, VOKA_CAUSE_TOKEN_FAILED);
        return Send(flight, kind,
                    {{kFieldUserId, user},
                     {kFieldEKeyPassword, held.c_str()},
                     {kFieldEKeyType, m_target.ekeyType.c_str()},
                     {kFieldIndication, ""}});
      }
      case RequestKind::kECardLogin: {
        if (account.card.Empty()) return End(flight, LoginOutcome::kNeedsCard);
        const auto position = answer.find(kFieldPosition);
        if (!account.card.Cell(position != answer.end() ? position->second : "", held)) {
          return End(flight, LoginOutcome::kMalformedAnswer);
        }
        return Send(flight, kind, {{kFieldUserId, user}, {kFieldECardAnswer, held.c_str()}, {kFieldIndication, ""}});
      }
    }
  }

  // A request that brought no verdict, counted by its cause as the engine's path counts it.
  void Fail(Flight& flight, int cause) {
    flight.record.cause = cause;
    End(flight, OutcomeOfFailure(cause));
  }

  void End(Flight& flight, LoginOutcome outcome) {
    flight.record.outcome = outcome;
    flight.busy = false;
    --m_busy;
    m_done(flight.index, flight.due, flight.dueSinceStart, flight.record);
  }

  const bool m_socketLibrary = StartSocketLibrary();  // stopped when the worker ends
  const BenchTarget& m_target;
  const std::vector<BenchAccount>& m_accounts;
  std::vector<Flight> m_flights;
  std::atomic<uint64_t>& m_started;
  const LoginDone& m_done;
  const MachineIdentity m_identity = ReadMachineIdentity();
  CSealKey m_key{kSealPassPhrase};
  std::string m_sealedKeyRequest;
  std::unique_ptr<CUDPServer> m_client;  // the worker's one socket
  socket_t m_socket = kInvalidSocket;
  std::vector<CUDPPacket> m_received = std::vector<CUDPPacket>(kDatagramBatch);
  std::vector<CUDPPacket> m_outgoing;  // a request a flight at most
  size_t m_outgoingCount = 0;
  size_t m_busy = 0;
};

}  // namespace

LoadOutcome RunSocketLogins(const LoadPlan& plan, const std::atomic<bool>& stop, const BenchTarget& target,
                            const std::vector<BenchAccount>& accounts, std::atomic<uint64_t>& started,
                            const LoginDone& done,
                            const std::function<void(std::chrono::nanoseconds elapsed)>& everySecond) {
  const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
  const int threads = std::min(cores, (plan.concurrency + kLoginsPerWorker - 1) / kLoginsPerWorker);
  std::atomic<int> nextWorker{0};
  return RunScheduleWorkers(
      plan, threads, stop,
      [&](CLoadSchedule& schedule) {
        // The logins in flight shared out, the first workers taking one more.
        const int worker = nextWorker++;
        const int inFlight = plan.concurrency / threads + (worker < plan.concurrency % threads ? 1 : 0);
        try {
          CSocketLoginWorker(target, accounts, inFlight, started, done).Run(schedule);
        } catch (const std::bad_alloc&) {
          // Out of memory on a worker thread: its logins stop being started.
        }
      },
      everySecond);
}
