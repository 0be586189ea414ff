#include "voka-auth/bench_command.h"

#include <fstream>
#include <vector>

#include "voka-auth/bench_options.h"
#include "voka-auth/bench_report.h"
#include "voka-server/account_file.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/loadgen/bench_login.h"
#include "voka/loadgen/bench_process.h"
#include "voka/loadgen/bench_socket_logins.h"
#include "voka/loadgen/bench_tally.h"
#include "voka/second_factor/matrix_card.h"

namespace {

bool InCodePage(const MatrixCard& card, MatrixCard& converted) {
  converted.rows = card.rows;
  for (auto& row : converted.rows) {
    for (std::string& cell : row) {
      if (!Utf8ToAnsiExactText(std::string(cell), cell)) return false;
    }
  }
  return true;
}

// The accounts to log in with, in turn: the one of --user and --password, or
// every account of the file, in the engine's code page.
bool LoadBenchAccounts(const BenchSettings& settings, std::vector<BenchAccount>& accounts, std::string& error) {
  if (settings.accountsPath.empty()) {
    accounts.push_back({settings.user, settings.password, {}});
    return true;
  }
  AccountBook book;
  if (LoadAccountFile(settings.accountsPath, book, error) != 0) return false;
  for (const auto& [id, account] : book) {
    BenchAccount converted;
    if (!Utf8ToAnsiExactText(account.userId, converted.user) ||
        !Utf8ToAnsiExactText(account.password, converted.password) || !InCodePage(account.card, converted.card)) {
      error = settings.accountsPath + ": account '" + id + "' holds a character that the code page cannot represent";
      return false;
    }
    accounts.push_back(converted);
  }
  if (accounts.empty()) error = settings.accountsPath + ": no accounts";
  return !accounts.empty();
}

}  // namespace

int RunBench(const AuthOptions& options, const AuthCommand& command, std::ostream& out, std::ostream& err,
             bool progress) {
  BenchSettings settings;
  std::vector<BenchAccount> accounts;
  std::string error;
  if (!ReadBenchSettings(command, settings, error) || !LoadBenchAccounts(settings, accounts, error)) {
    err << "voka-auth: bench: " << error << "\n";
    return kExitUsage;
  }
  std::ofstream csv;
  if (!settings.csvPath.empty()) {
    csv.open(settings.csvPath);
    if (!csv) {
      err << "voka-auth: bench: cannot write " << settings.csvPath << "\n";
      return kExitUsage;
    }
  }
  const BenchTarget target{options.udpServer, options.httpServer, options.timeoutSeconds, settings.app,
                           settings.area,     settings.ekeyType,  options.caBundle};
  CBenchTally tally(csv.is_open() ? &csv : nullptr);
  std::atomic<uint64_t> started{0};
  std::atomic<bool> stop{false};
  StopOnInterrupt(stop);
  const double cpuBefore = ProcessCpuSeconds();
  const auto everySecond = [&](std::chrono::nanoseconds elapsed) {
    tally.WriteRows();
    if (progress) err << FormatProgressLine(elapsed, started, tally.TakeRecent()) << std::flush;
  };
  const LoadOutcome run =
      settings.client == BenchClient::kEngine
          ? RunOpenLoop(
                settings.plan, stop,
                [&](uint64_t index, BenchClock::time_point due, std::chrono::nanoseconds dueSinceStart) {
                  ++started;
                  const LoginRecord login = RunBenchLogin(target, accounts[index % accounts.size()]);
                  tally.Add(dueSinceStart, BenchClock::now() - due, login);
                },
                everySecond)
          : RunSocketLogins(
                settings.plan, stop, target, accounts, started,
                [&](uint64_t, BenchClock::time_point due, std::chrono::nanoseconds dueSinceStart,
                    const LoginRecord& login) { tally.Add(dueSinceStart, BenchClock::now() - due, login); },
                everySecond);
  tally.WriteRows();
  const BenchFigures figures{settings.plan, run, tally, ProcessCpuSeconds() - cpuBefore};
  RestoreInterrupt();
  if (csv.is_open()) csv.close();
  // A CSV file that cannot be written is the command line's fault, as one
  // that cannot be opened is.
  if (!csv) err << "voka-auth: bench: cannot write " << settings.csvPath << "\n";
  out << (options.json ? FormatBenchJson(figures) + "\n" : FormatBenchSummary(figures));
  out.flush();
  if (!csv) return kExitUsage;
  return tally.Failed() == 0 ? kExitSuccess : kExitCommandFailed;
}
