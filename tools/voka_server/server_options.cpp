#include "tools/voka_server/server_options.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool ParseNumber(const std::string& text, long low, long high, long& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtol(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value >= low && value <= high;
}

bool ParseListenAddress(const std::string& text, ListenAddress& address) {
  size_t colon = text.rfind(':');
  long port = 0;
  if (colon == std::string::npos || colon == 0 || !ParseNumber(text.substr(colon + 1), 0, 65535, port)) return false;
  address.host = text.substr(0, colon);
  address.port = static_cast<int>(port);
  return true;
}

}  // namespace

int ParseServerOptions(int argc, const char* const* argv, ServerOptions& options, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "-h" || word == "--help") {
      options.help = true;
      continue;
    }
    if (word != "--udp" && word != "--http" && word != "--accounts" && word != "--fault" &&
        word != "--slow-seconds") {
      error = "unknown option '" + word + "'";
      return 2;
    }
    if (i + 1 >= argc) {
      error = "option '" + word + "' needs a value";
      return 2;
    }
    const std::string value = argv[++i];
    long number = 0;
    bool valid = true;
    if (word == "--udp") {
      valid = ParseListenAddress(value, options.udp);
    } else if (word == "--http") {
      valid = ParseListenAddress(value, options.http);
    } else if (word == "--accounts") {
      options.accountsPath = value;
    } else if (word == "--fault") {
      valid = ParseFaultMode(value, options.faults);
    } else {
      valid = ParseNumber(value, 0, 3600, number);
      options.faults.slowSeconds = static_cast<int>(number);
    }
    if (!valid) {
      error = "bad value '" + value + "' for " + word;
      return 2;
    }
  }
  return 0;
}

std::string ServerUsageText() {
  return std::string(
             "Usage: voka-server [--udp HOST:PORT] [--http HOST:PORT] [--accounts FILE]\n"
             "                   [--fault MODE]... [--slow-seconds N]\n"
             "Reference account server: answers dynamic-key and login requests over UDP and HTTP.\n"
             "\n"
             "  --udp HOST:PORT     UDP challenge service (default 127.0.0.1:8025; port 0: any free port)\n"
             "  --http HOST:PORT    HTTP validation service (default 127.0.0.1:8080; port 0: any free port)\n"
             "  --accounts FILE     account file (default: the sample accounts of the source tree)\n"
             "  --fault MODE        answer wrongly on purpose: ") +
         FaultModeNames() +
         "\n"
         "  --slow-seconds N    delay of the slow-body fault (default 8)\n"
         "\n"
         "Prints 'listening udp=HOST:PORT http=HOST:PORT' on stdout once both services are up,\n"
         "then one line per request on stderr. Stops on SIGINT or SIGTERM.\n";
}
