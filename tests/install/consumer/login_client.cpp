// login_client UDP HTTP USER PASSWORD: a whole login through the installed
// engine (dynamic key, account login, e-key login when the account asks for
// the token), as a front end would do it. Prints the datagrams it saw and
// the final answer; exit status 0 once AUTHENSTATE is 1.
#include <voka/client_authen.h>

#include <iostream>
#include <string>

namespace {

class DatagramCounter : public ExchangeTrace {
 public:
  void OnParameterText(const std::string&) override {}
  void OnDatagram(const UDP_HEADER& sent, const std::string&, const std::string&) override {
    std::cout << "datagram command=" << sent.wCommand << "\n";
  }
  void OnUrl(const std::string&) override {}
  void OnAnswer(const char*, int) override {}
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::cerr << "usage: login_client UDP HTTP USER PASSWORD\n";
    return 2;
  }
  DatagramCounter trace;
  CClientAuthen engine;
  engine.Initialize(argv[1], argv[2]);
  engine.SetTrace(&trace);
  int result = engine.GetDynamicKey("");
  if (result == 0) result = engine.StaticAuthen(argv[3], argv[4], "1", "1", "", "");
  std::string state, password;
  engine.GetValue("AUTHENSTATE", state);
  if (result == 0 && state == "4" && engine.GetValue("EKEYPWD", password) == 0) {
    result = engine.EKeyAuthen(argv[3], password.c_str(), "1", "");
    engine.GetValue("AUTHENSTATE", state);
  }
  std::cout << "result=" << result << " AUTHENSTATE=" << state << "\n";
  return result == 0 && state == "1" ? 0 : 1;
}
