// voka-server's capacity on loopback, measured the way voka-auth bench
// measures it: the highest rate of whole logins at which p99 stays under
// 10 ms, against the same search over plain UDP round trips to a minimal
// echo peer with the same concurrency, the physical limit of this machine.
// Also the CPU time per login of voka-server and of the load generator
// against that of a round trip at the same rate. Prints every step of both
// searches, then the ratios.
//
// The logins come from voka-auth bench's load client, or with --engine from
// the engine, a socket a request, as `voka-auth bench --client engine`.
//
// With --rate R it runs one step of each at R instead of searching.
//
//   server_capacity_bench [--concurrency C] [--step-seconds S] [--rate R] [--engine]
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/peers/loopback_socket.h"
#include "tests/peers/wire_datagram.h"
#include "voka/codec/decimal_integer.h"
#include "voka/loadgen/bench_login.h"
#include "voka/loadgen/bench_process.h"
#include "voka/loadgen/bench_socket_logins.h"
#include "voka/loadgen/latency_histogram.h"
#include "voka/loadgen/load_schedule.h"
#include "voka/transport/udp_packet.h"

namespace {

constexpr double kLatencyGoalMs = 10;
constexpr long kFirstRate = 250;
constexpr long kHighestRate = 512000;
constexpr int kBisections = 4;
// About the size of a sealed account login request.
const std::string kPayload(344, 'Q');

// A child process of this run, ended with it.
struct Child {
  pid_t pid = -1;

  ~Child() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  }

  // User and system CPU seconds so far, from /proc.
  double CpuSeconds() const {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int number = 3; number <= 15 && fields >> field; ++number) {
      if (number >= 14) ticks += std::strtod(field.c_str(), nullptr);  // utime, stime
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  }
};

// voka-server on free loopback ports, its request log thrown away; the UDP
// address it listens on.
std::string StartServer(Child& server) {
  int out[2];
  if (pipe(out) != 0) return "";
  server.pid = fork();
  if (server.pid == 0) {
    dup2(out[1], STDOUT_FILENO);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDERR_FILENO);
    execl(VOKA_SERVER_PATH, VOKA_SERVER_PATH, "--udp", "127.0.0.1:0", "--http", "127.0.0.1:0", "--accounts",
          VOKA_ACCOUNTS_PATH, static_cast<char*>(nullptr));
    _exit(127);
  }
  close(out[1]);
  char line[256] = {};
  pollfd ready{out[0], POLLIN, 0};
  const ssize_t got = poll(&ready, 1, 10000) == 1 ? read(out[0], line, sizeof line - 1) : -1;
  close(out[0]);
  const char* udp = got > 0 ? std::strstr(line, "udp=") : nullptr;
  return udp ? std::string(udp + 4, std::strcspn(udp + 4, " \n")) : "";
}

// A child that sends every datagram straight back; its port.
uint16_t StartEchoPeer(Child& peer) {
  uint16_t port = 0;
  const socket_t socket = BindLoopback(SOCK_DGRAM, &port);
  if (socket == kInvalidSocket) return 0;
  peer.pid = fork();
  if (peer.pid == 0) {
    char datagram[kUdpPacketSize];
    for (;;) {
      sockaddr_in from;
      const int received = ReceiveDatagram(socket, datagram, sizeof datagram, &from);
      if (received > 0) SendDatagram(socket, datagram, received, from);
    }
  }
  CloseSocket(socket);
  return port;
}

// One round trip on the calling thread's own socket: false when no answer
// came within a second.
bool RawExchange(uint16_t port) {
  struct OwnSocket {
    socket_t socket = ::socket(AF_INET, SOCK_DGRAM, 0);
    ~OwnSocket() { CloseSocket(socket); }
  };
  thread_local OwnSocket own;
  static const std::string datagram = WireDatagram(0xC500, 1, kPayload);
  char answer[kUdpPacketSize];
  sockaddr_in from;
  SendDatagram(own.socket, datagram.data(), static_cast<int>(datagram.size()), LoopbackAddress(port));
  return WaitReadable(own.socket, 1000) == 1 && ReceiveDatagram(own.socket, answer, sizeof answer, &from) > 0;
}

struct Step {
  long rate = 0;
  LoadOutcome run;
  CLatencyHistogram latency;
  uint64_t failed = 0;
  double clientCpuSeconds = 0;  // this process: the load generator
  double peerCpuSeconds = 0;    // the server or the echo peer

  bool MeetsGoal() const { return failed == 0 && static_cast<double>(latency.Percentile(99)) / 1e6 < kLatencyGoalMs; }
  double ClientCpuMicrosecondsPerOperation() const { return clientCpuSeconds * 1e6 / static_cast<double>(run.started); }
  double PeerCpuMicrosecondsPerOperation() const { return peerCpuSeconds * 1e6 / static_cast<double>(run.started); }
};

// Reports one operation's end: when it was due, and whether it succeeded.
using OperationDone = std::function<void(BenchClock::time_point due, bool done)>;
// Runs the operations of a plan, reporting each as it ends.
using LoadRunner = std::function<LoadOutcome(const LoadPlan& plan, const OperationDone& done)>;

// A runner of operation on the schedule's worker threads, one at a time on each.
LoadRunner OnWorkerThreads(std::function<bool()> operation) {
  return [operation](const LoadPlan& plan, const OperationDone& done) {
    const std::atomic<bool> never{false};
    return RunOpenLoop(
        plan, never, [&](uint64_t, BenchClock::time_point due, std::chrono::nanoseconds) { done(due, operation()); },
        [](std::chrono::nanoseconds) {});
  };
}

class CCapacitySearch {
 public:
  CCapacitySearch(const char* name, int concurrency, std::chrono::seconds stepTime, const Child& peer,
                  LoadRunner runner)
      : m_name(name), m_concurrency(concurrency), m_stepTime(stepTime), m_peer(peer), m_runner(std::move(runner)) {}

  // The best step that met the goal: rates doubled until one misses it, then
  // the gap between the last two halved kBisections times.
  Step Run() {
    Step best;
    long missed = 0;
    for (long rate = kFirstRate; rate <= kHighestRate && missed == 0; rate *= 2) {
      Step step = RunTwiceIfMissed(rate);
      if (step.MeetsGoal()) {
        best = step;
      } else {
        missed = rate;
      }
    }
    for (int i = 0; i < kBisections && missed != 0; ++i) {
      const long rate = (best.rate + missed) / 2;
      Step step = RunTwiceIfMissed(rate);
      if (step.MeetsGoal()) {
        best = step;
      } else {
        missed = rate;
      }
    }
    return best;
  }

  // One step of plan at rate, printed as a line.
  Step RunAt(long rate) {
    Step step;
    step.rate = rate;
    LoadPlan plan;
    plan.rate = rate;
    plan.duration = m_stepTime;
    plan.concurrency = m_concurrency;
    plan.maxStarts = static_cast<uint64_t>(rate) * static_cast<uint64_t>(m_stepTime.count());
    std::mutex mutex;
    const double clientBefore = ProcessCpuSeconds();
    const double peerBefore = m_peer.CpuSeconds();
    step.run = m_runner(plan, [&](BenchClock::time_point due, bool done) {
      const auto latency = std::chrono::duration_cast<std::chrono::nanoseconds>(BenchClock::now() - due);
      std::lock_guard<std::mutex> lock(mutex);
      step.latency.Record(static_cast<uint64_t>(latency.count()));
      if (!done) ++step.failed;
    });
    // What was due and never started waited at least the rest of the step:
    // counted as waiting all of it, it cannot make the percentiles look better.
    for (uint64_t i = 0; i < step.run.notStarted; ++i) {
      step.latency.Record(static_cast<uint64_t>(std::chrono::nanoseconds(m_stepTime).count()));
    }
    step.clientCpuSeconds = ProcessCpuSeconds() - clientBefore;
    step.peerCpuSeconds = m_peer.CpuSeconds() - peerBefore;
    std::printf("%-12s %8ld/s  achieved %9.1f/s  p50 %7.3f ms  p99 %8.3f ms  failed %6llu  late %7llu  %s\n", m_name,
                rate, step.run.AchievedRate(), static_cast<double>(step.latency.Percentile(50)) / 1e6,
                static_cast<double>(step.latency.Percentile(99)) / 1e6, static_cast<unsigned long long>(step.failed),
                static_cast<unsigned long long>(step.run.late), step.MeetsGoal() ? "meets" : "misses");
    std::fflush(stdout);
    return step;
  }

 private:
  // Another process on the machine can stall one step: a miss counts only
  // when a second run at the rate misses too.
  Step RunTwiceIfMissed(long rate) {
    Step step = RunAt(rate);
    return step.MeetsGoal() ? step : RunAt(rate);
  }

  const char* m_name;
  const int m_concurrency;
  const std::chrono::seconds m_stepTime;
  const Child& m_peer;
  const LoadRunner m_runner;
};

bool ReadOption(int argc, char** argv, const char* name, long low, long high, long& value) {
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::strcmp(argv[i], name) == 0) return ParseInteger(argv[i + 1], low, high, value);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  long concurrency = 64, stepSeconds = 2, fixedRate = 0;
  if (!ReadOption(argc, argv, "--concurrency", 1, 1000, concurrency) ||
      !ReadOption(argc, argv, "--step-seconds", 1, 60, stepSeconds) ||
      !ReadOption(argc, argv, "--rate", 1, kHighestRate, fixedRate)) {
    std::fprintf(stderr, "usage: server_capacity_bench [--concurrency C] [--step-seconds S] [--rate R] [--engine]\n");
    return 2;
  }
  const bool engine = std::find_if(argv + 1, argv + argc,
                                   [](const char* word) { return std::strcmp(word, "--engine") == 0; }) != argv + argc;
  // The engine's diagnostic log goes where no other run writes.
  char logFolder[] = "/tmp/voka-capacity-XXXXXX";
  if (mkdtemp(logFolder) == nullptr) return 1;
  const std::string logPath = std::string(logFolder) + "/TevUdpServer.log";
  setenv("VOKA_UDP_LOG", logPath.c_str(), 1);

  Child server, echo;
  const std::string udp = StartServer(server);
  const uint16_t echoPort = StartEchoPeer(echo);
  if (udp.empty() || echoPort == 0) {
    std::fprintf(stderr, "server_capacity_bench: cannot start voka-server or the echo peer\n");
    return 1;
  }
  BenchTarget target;
  target.udpServer = udp;
  target.httpServer = "http://127.0.0.1:1";  // never reached while UDP answers
  target.timeoutSeconds = 1;
  target.app = target.area = "1";
  const BenchAccount alice{"alice", "alice-pass", {}};
  std::printf("%ld at a time, %ld s a step, p99 goal %.0f ms; a login is two round trips (dynamic key, account)\n",
              concurrency, stepSeconds, kLatencyGoalMs);
  const std::chrono::seconds stepTime(stepSeconds);
  const int workers = static_cast<int>(concurrency);
  const std::vector<BenchAccount> accounts = {alice};
  const LoadRunner loadClient = [&](const LoadPlan& plan, const OperationDone& done) {
    const std::atomic<bool> never{false};
    std::atomic<uint64_t> started{0};
    return RunSocketLogins(
        plan, never, target, accounts, started,
        [&](uint64_t, BenchClock::time_point due, std::chrono::nanoseconds, const LoginRecord& login) {
          done(due, login.outcome == LoginOutcome::kLoggedIn);
        },
        [](std::chrono::nanoseconds) {});
  };
  const LoadRunner engineClient =
      OnWorkerThreads([&] { return RunBenchLogin(target, alice).outcome == LoginOutcome::kLoggedIn; });
  CCapacitySearch loginSearch("voka-server", workers, stepTime, server, engine ? engineClient : loadClient);
  CCapacitySearch echoSearch("echo peer", workers, stepTime, echo,
                             OnWorkerThreads([&] { return RawExchange(echoPort); }));
  // With --rate, one step of each at that rate instead of the searches: the
  // CPU figures, whatever another job on the machine does to the latencies.
  const Step logins = fixedRate ? loginSearch.RunAt(fixedRate) : loginSearch.Run();
  const Step echoes = fixedRate ? echoSearch.RunAt(fixedRate) : echoSearch.Run();
  // CPU time per operation depends on the rate (more answers a wake-up at
  // higher rates): compared at the rate voka-server managed.
  const Step echoesAtLoginRate = fixedRate ? echoes : echoSearch.RunAt(std::max(logins.rate, kFirstRate));
  std::remove(logPath.c_str());
  rmdir(logFolder);
  if (logins.rate == 0 || echoes.rate == 0) {
    std::printf("\nno rate met the goal\n");
    return 1;
  }

  // A login is two exchanges: compared with round trips in exchanges.
  const double exchangeRate = 2 * logins.run.AchievedRate();
  const double echoRate = echoes.run.AchievedRate();
  const double serverCpu = logins.PeerCpuMicrosecondsPerOperation();
  const double echoCpu = echoesAtLoginRate.PeerCpuMicrosecondsPerOperation();
  const double clientCpu = logins.ClientCpuMicrosecondsPerOperation();
  const double perCore = echoCpu / (serverCpu / 2);
  std::printf("\nvoka-server: %.0f logins/s (%.0f exchanges/s), p99 %.3f ms\n", logins.run.AchievedRate(), exchangeRate,
              static_cast<double>(logins.latency.Percentile(99)) / 1e6);
  std::printf("echo peer:   %.0f round trips/s, p99 %.3f ms\n", echoRate,
              static_cast<double>(echoes.latency.Percentile(99)) / 1e6);
  std::printf("exchanges / echo round trips: %.2fx\n", exchangeRate / echoRate);
  std::printf("at %ld/s: voka-server %.1f us CPU a login (%.0f exchanges/s per core), echo peer %.1f us a round trip\n",
              logins.rate, serverCpu, 2e6 / serverCpu, echoCpu);
  std::printf("per core, exchanges / echo round trips: %.2fx  (goal 0.5x: %s)\n", perCore,
              perCore >= 0.5 ? "met" : "missed");
  std::printf("at %ld/s: load generator (%s) %.1f us CPU a login: %.2fx voka-server's  (goal 0.5x: %s)\n", logins.rate,
              engine ? "engine" : "load client", clientCpu, clientCpu / serverCpu,
              clientCpu / serverCpu <= 0.5 ? "met" : "missed");
  // What the network alone costs a client: a login is two round trips.
  const double bareCpu = echoesAtLoginRate.ClientCpuMicrosecondsPerOperation();
  std::printf(
      "at %ld/s: a bare UDP client %.1f us CPU a round trip: a login costs the load generator %.2fx two of them\n",
      logins.rate, bareCpu, clientCpu / (2 * bareCpu));
  return 0;
}
