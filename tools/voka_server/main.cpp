// voka-server: a reference account server for development and tests. Answers
// the dynamic-key and login requests over UDP and HTTP, single-threaded, from
// one poll loop.
#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <vector>

#include "codec/ansi_codepage.h"
#include "tools/voka_server/account_file.h"
#include "tools/voka_server/account_service.h"
#include "tools/voka_server/http_service_posix.h"
#include "tools/voka_server/server_options.h"
#include "tools/voka_server/udp_service_posix.h"

namespace {

volatile sig_atomic_t g_stopRequested = 0;

void RequestStop(int) { g_stopRequested = 1; }

void InstallSignalHandlers() {
  struct sigaction action = {};
  action.sa_handler = RequestStop;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
}

int Serve(CUdpService& udp, CHttpService& http) {
  std::vector<pollfd> entries;
  while (!g_stopRequested) {
    entries.clear();
    entries.push_back({udp.Socket(), POLLIN, 0});
    http.AppendPollEntries(entries);
    int wait = http.MillisecondsToNextEvent();
    if (wait < 0 || wait > 1000) wait = 1000;
    int ready = poll(entries.data(), entries.size(), wait);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::cerr << "voka-server: poll: " << std::strerror(errno) << "\n";
      return 1;
    }
    if (entries[0].revents & POLLIN) udp.OnReadable();
    http.OnPoll(entries.data() + 1, entries.size() - 1);
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  ServerOptions options;
  options.accountsPath = VOKA_SAMPLE_ACCOUNTS;
  std::string error;
  if (ParseServerOptions(argc, argv, options, error) != 0) {
    std::cerr << "voka-server: " << error << " (see voka-server --help)\n";
    return 2;
  }
  if (options.help) {
    std::cout << ServerUsageText();
    return 0;
  }
  // Answers and the UDP requests of clients are code page 936 text.
  SetAnsiCodePage(936);
  AccountBook accounts;
  if (LoadAccountFile(options.accountsPath, accounts, error) != 0) {
    std::cerr << "voka-server: " << error << "\n";
    return 2;
  }
  InstallSignalHandlers();
  CAccountService service(accounts);
  CUdpService udp(service, options.faults);
  CHttpService http(service, options.faults);
  if (udp.Open(options.udp, error) != 0 || http.Open(options.http, error) != 0) {
    std::cerr << "voka-server: cannot listen: " << error << "\n";
    return 1;
  }
  std::cout << "listening udp=" << udp.BoundAddress() << " http=" << http.BoundAddress() << std::endl;
  std::cerr << "voka-server: " << accounts.size() << " accounts from " << options.accountsPath << std::endl;
  return Serve(udp, http);
}
