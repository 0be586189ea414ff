// voka-server: a reference account server for development and tests. Answers
// the dynamic-key and login requests over UDP, HTTP and optionally HTTPS,
// single-threaded, from one poll loop.
#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <new>
#include <vector>

#include "voka-server/account_file.h"
#include "voka-server/account_service.h"
#include "voka-server/default_accounts.h"
#include "voka-server/http_service_microhttpd.h"
#include "voka-server/key_secret_file.h"
#include "voka-server/server_log.h"
#include "voka-server/server_options.h"
#include "voka-server/tls_credentials.h"
#include "voka-server/udp_service_posix.h"
#include "voka/codec/ansi_codepage.h"
#include "voka/limits.h"

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

// One round of the loop: waits for the services, then serves what they hold.
// false when polling failed.
bool ServeRound(CUdpService& udp, const std::vector<CHttpService*>& httpServices, std::vector<pollfd>& entries) {
  entries.clear();
  entries.push_back({udp.Socket(), POLLIN, 0});
  int wait = 1000;
  for (CHttpService* service : httpServices) {
    service->AppendPollEntries(entries);
    int next = service->MillisecondsToNextEvent();
    if (next >= 0 && next < wait) wait = next;
  }
  int ready = poll(entries.data(), entries.size(), wait);
  if (ready < 0) {
    if (errno == EINTR) return true;
    LogNotice(std::string("voka-server: poll: ") + std::strerror(errno));
    return false;
  }
  if (entries[0].revents & POLLIN) udp.OnReadable();
  for (CHttpService* service : httpServices) service->Run(entries);
  return true;
}

int Serve(CUdpService& udp, const std::vector<CHttpService*>& httpServices) {
  std::vector<pollfd> entries;
  while (!g_stopRequested) {
    // Each request fails alone when memory runs out; this catches what the
    // loop itself needs.
    try {
      if (!ServeRound(udp, httpServices, entries)) return 1;
    } catch (const std::bad_alloc&) {
      LogOutOfMemory("requests of this round dropped");
    }
  }
  return 0;
}

// HOST as the command line gave it (the name a certificate is for), with the
// port the system chose.
std::string HttpsAddressText(const ListenAddress& requested, const std::string& bound) {
  return requested.host + bound.substr(bound.rfind(':'));
}

int Main(int argc, char** argv) {
  ServerOptions options;
  options.accountsPath = DefaultAccountsPath();
  std::string error;
  if (ParseServerOptions(argc, argv, options, error) != 0) {
    std::cerr << "voka-server: " << error << " (see voka-server --help)\n";
    return 2;
  }
  if (options.help) {
    std::cout << ServerUsageText();
    return 0;
  }
  if (options.version) {
    std::cout << ServerVersionText();
    return 0;
  }
  // Answers and the UDP requests of clients are text in the clients' default code page.
  SetAnsiCodePage(kDefaultCodePage);
  AccountBook accounts;
  if (LoadAccountFile(options.accountsPath, accounts, error) != 0) {
    std::cerr << "voka-server: " << error << "\n";
    return 2;
  }
  TlsCredentials tls;
  if (options.serveHttps && LoadTlsCredentials(options.certificatePath, options.keyPath, tls, error) != 0) {
    std::cerr << "voka-server: " << error << "\n";
    return 2;
  }
  KeySecret keySecret;
  if ((options.keySecretPath.empty() ? NewKeySecret(keySecret, error)
                                     : LoadKeySecret(options.keySecretPath, keySecret, error)) != 0) {
    std::cerr << "voka-server: " << error << "\n";
    return 2;
  }
  InstallSignalHandlers();
  CAccountService service(accounts, keySecret);
  const CTrustedProxies proxies(options.trustedProxies);
  CUdpService udp(service, options.faults, proxies);
  CHttpService http(service, options.faults, proxies);
  CHttpService https(service, options.faults, proxies, &tls);
  if (udp.Open(options.udp, error) != 0 || http.Open(options.http, error) != 0 ||
      (options.serveHttps && https.Open(options.https, error) != 0)) {
    std::cerr << "voka-server: cannot listen: " << error << "\n";
    return 1;
  }
  std::vector<CHttpService*> httpServices = {&http};
  std::cout << "listening udp=" << udp.BoundAddress() << " http=" << http.BoundAddress();
  if (options.serveHttps) {
    const std::string httpsAddress = HttpsAddressText(options.https, https.BoundAddress());
    if (options.faults.http == HttpFault::kRedirectToHttp) https.RedirectTo("http://" + http.BoundAddress());
    if (options.faults.http == HttpFault::kRedirectToHttps) http.RedirectTo("https://" + httpsAddress);
    httpServices.push_back(&https);
    std::cout << " https=" << httpsAddress;
  }
  std::cout << std::endl;
  SetLogQuiet(options.quiet);
  LogNotice("voka-server: " + std::to_string(accounts.size()) + " accounts from " + options.accountsPath);
  const int status = Serve(udp, httpServices);
  LogNotice(LogSummary());
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("voka-server: out of memory\n", stderr);
    return 1;
  }
}
